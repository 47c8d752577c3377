#include "folderpipe.h"

#include <cstring>

namespace archive7z {

FolderPipe::FolderPipe(std::unique_ptr<InStream> stream, UInt64 size, SRes res, PipeSignal* signal)
    : size_(size), stream_(std::move(stream)), signal_(signal) {
  for (auto& piece : pieces_) piece.bytes.resize(kChunk);
  if (res != SZ_OK) {
    status_ = res;
    done_ = true;
    return;
  }
  thread_ = std::thread([this] { Produce(); });
}

FolderPipe::~FolderPipe() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool FolderPipe::Ready() {
  std::lock_guard<std::mutex> lock(mutex_);
  return produced_ > consumed_ + taken_ || done_;
}

void FolderPipe::GiveLocked() {
  if (taken_ == 0) return;
  taken_ = 0;
  ++consumed_;
  changed_.notify_all();
}

void FolderPipe::Give() {
  std::lock_guard<std::mutex> lock(mutex_);
  GiveLocked();
}

bool FolderPipe::Take(const Byte** data, size_t* size, SRes& status) {
  std::unique_lock<std::mutex> lock(mutex_);
  GiveLocked();
  changed_.wait(lock, [this] { return produced_ > consumed_ || done_; });
  if (produced_ == consumed_) {
    status = status_ != SZ_OK ? status_ : SZ_ERROR_DATA;
    return false;
  }
  Piece& piece = pieces_[consumed_ % kChunks];
  *data = piece.bytes.data();
  *size = piece.size;
  taken_ = 1;
  return true;
}

void FolderPipe::Produce() {
  UInt64 left = size_;
  SRes res = SZ_OK;
  while (left > 0) {
    Piece* piece;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return produced_ - consumed_ < kChunks || stop_; });
      if (stop_) break;
      piece = &pieces_[produced_ % kChunks];
    }
    size_t want = left < kChunk ? static_cast<size_t>(left) : kChunk;
    size_t got = 0;
    res = ReadFull(*stream_, piece->bytes.data(), want, &got);
    if (res == SZ_OK && got < want) res = SZ_ERROR_DATA;
    if (res != SZ_OK) break;
    piece->size = got;
    left -= got;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++produced_;
    }
    changed_.notify_all();
    if (signal_) signal_->Post();
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    status_ = res;
    done_ = true;
  }
  changed_.notify_all();
  if (signal_) signal_->Post();
}

SRes ThreadedStream::Read(Byte* buf, size_t* size) {
  size_t want = *size < left_ ? *size : static_cast<size_t>(left_);
  *size = 0;
  while (*size < want) {
    if (pieceLeft_ == 0) {
      SRes status;
      if (!pipe_.Take(&piece_, &pieceLeft_, status)) return status;
    }
    size_t n = want - *size < pieceLeft_ ? want - *size : pieceLeft_;
    std::memcpy(buf + *size, piece_, n);
    piece_ += n;
    pieceLeft_ -= n;
    *size += n;
  }
  left_ -= *size;
  return SZ_OK;
}

}  // namespace archive7z
