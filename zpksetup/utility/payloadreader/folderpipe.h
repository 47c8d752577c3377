// A stream decoded on a thread of its own into a small ring of pieces: a whole folder,
// taken by the extraction thread that checks CRCs and writes files, and the main stream
// of a BCJ2 folder, so that its LZMA2 decoding runs beside the BCJ2 merge. Internal to
// the extraction (archive7z.cpp, foldercoders.cpp, blockscheduler.cpp).
#pragma once
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "streamdecoders.h"

namespace archive7z {

constexpr size_t kChunks = 2;  // pieces in flight: one filled while the other is used

// Tells one waiting thread that some pipe among several has a piece ready or has ended,
// so the writer can sleep until any of the blocks it serves has bytes for it.
class PipeSignal {
 public:
  uint64_t Count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return count_;
  }
  // Returns once a Post came after Count() answered `seen`.
  void Wait(uint64_t seen) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return count_ != seen; });
  }
  void Post() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++count_;
    }
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t count_ = 0;
};

class FolderPipe {
 public:
  // Decodes `size` bytes of `stream`; `res` is how setting the stream up went. `signal`
  // (may be null) is posted after each piece and at the end.
  FolderPipe(std::unique_ptr<InStream> stream, UInt64 size, SRes res, PipeSignal* signal = nullptr);
  ~FolderPipe();

  // True when Take would not wait: a piece is ready, or decoding has ended.
  bool Ready();
  // The next piece (its bytes and count), giving back the one taken before if Give was
  // not called; false with `status` when decoding failed or ended before the size.
  bool Take(const Byte** data, size_t* size, SRes& status);
  // Gives the piece taken last back to the decoder.
  void Give();

 private:
  struct Piece {
    std::vector<Byte> bytes;
    size_t size = 0;
  };

  void Produce();
  void GiveLocked();

  const UInt64 size_;
  std::unique_ptr<InStream> stream_;
  PipeSignal* const signal_;
  Piece pieces_[kChunks];
  std::mutex mutex_;
  std::condition_variable changed_;
  size_t produced_ = 0, consumed_ = 0, taken_ = 0;
  bool done_ = false, stop_ = false;
  SRes status_ = SZ_OK;
  std::thread thread_;
};

// A FolderPipe read as a stream.
class ThreadedStream : public InStream {
 public:
  ThreadedStream(std::unique_ptr<InStream> in, UInt64 size) : left_(size), pipe_(std::move(in), size, SZ_OK) {}
  SRes Read(Byte* buf, size_t* size) override;

 private:
  UInt64 left_;
  FolderPipe pipe_;
  const Byte* piece_ = nullptr;
  size_t pieceLeft_ = 0;
};

}  // namespace archive7z
