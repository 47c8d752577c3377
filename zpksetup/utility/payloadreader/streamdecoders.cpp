#include "streamdecoders.h"

#include <cstdlib>
#include <cstring>

#include "archive7z.h"

namespace archive7z {

namespace {

void* HeapAlloc7z(ISzAllocPtr, size_t size) { return size ? std::malloc(size) : nullptr; }
void HeapFree7z(ISzAllocPtr, void* address) { std::free(address); }

}  // namespace

const ISzAlloc kHeap = {HeapAlloc7z, HeapFree7z};

void InitLookReader(CLookToRead2& reader, std::vector<Byte>& buffer, ISeekInStreamPtr source) {
  buffer.resize(kLookAhead);
  LookToRead2_CreateVTable(&reader, False);
  reader.buf = buffer.data();
  reader.bufSize = buffer.size();
  reader.realStream = source;
  LookToRead2_INIT(&reader);
}

SRes ReadFull(InStream& in, Byte* buf, size_t size, size_t* got) {
  *got = 0;
  while (*got < size) {
    size_t n = size - *got;
    SRes res = in.Read(buf + *got, &n);
    if (res != SZ_OK) return res;
    if (n == 0) break;
    *got += n;
  }
  return SZ_OK;
}

SRes SharedSource::ReadAt(UInt64 offset, void* buf, size_t* size) {
  std::lock_guard<std::mutex> lock(mutex_);
  Int64 pos = static_cast<Int64>(offset);
  SRes res = ISeekInStream_Seek(source_, &pos, SZ_SEEK_SET);
  if (res != SZ_OK) {
    *size = 0;
    return res;
  }
  return ISeekInStream_Read(source_, buf, size);
}

SRes SharedSource::Size(UInt64* size) {
  std::lock_guard<std::mutex> lock(mutex_);
  Int64 pos = 0;
  RINOK(ISeekInStream_Seek(source_, &pos, SZ_SEEK_END))
  *size = static_cast<UInt64>(pos);
  return SZ_OK;
}

SRes PackStream::Read(Byte* buf, size_t* size) {
  UInt64 left = end_ - pos_;
  size_t got = *size < left ? *size : static_cast<size_t>(left);
  *size = 0;
  if (got == 0) return SZ_OK;
  RINOK(source_.ReadAt(pos_, buf, &got))
  if (got == 0) return SZ_ERROR_INPUT_EOF;
  pos_ += got;
  *size = got;
  return SZ_OK;
}

// ---- LZMA and LZMA2 -------------------------------------------------------------

LzmaStream::LzmaStream(std::unique_ptr<InStream> in, UInt64 unpackSize, bool lzma2)
    : in_(std::move(in)), left_(unpackSize), lzma2_(lzma2), inBuf_(kInBuffer) {
  if (lzma2_) Lzma2Dec_CONSTRUCT(&dec2_) else LzmaDec_CONSTRUCT(&dec_)
}

LzmaStream::~LzmaStream() {
  if (!allocated_) return;
  if (lzma2_) Lzma2Dec_FreeProbs(&dec2_, &kHeap);
  else LzmaDec_FreeProbs(&dec_, &kHeap);
}

SRes LzmaStream::Init(const Byte* props, unsigned propsSize) {
  if (lzma2_) {
    if (propsSize != 1) return SZ_ERROR_UNSUPPORTED;
    RINOK(Lzma2Dec_AllocateProbs(&dec2_, props[0], &kHeap))
  } else {
    RINOK(LzmaDec_AllocateProbs(&dec_, props, propsSize, &kHeap))
  }
  allocated_ = true;
  CLzmaDec& d = Decoder();
  UInt64 dic = d.prop.dicSize;
  if (dic > left_) dic = left_;  // a block smaller than the dictionary never wraps
  if (dic == 0) dic = 1;
  if (dic != static_cast<size_t>(dic)) return SZ_ERROR_MEM;
  dic_.resize(static_cast<size_t>(dic));
  d.dic = dic_.data();
  d.dicBufSize = dic_.size();
  if (lzma2_) Lzma2Dec_Init(&dec2_);
  else LzmaDec_Init(&dec_);
  return SZ_OK;
}

SRes LzmaStream::Read(Byte* buf, size_t* size) {
  size_t want = *size < left_ ? *size : static_cast<size_t>(left_);
  *size = 0;
  CLzmaDec& d = Decoder();
  while (*size < want) {
    if (d.dicPos == d.dicBufSize) d.dicPos = 0;
    if (inPos_ == inLim_ && !inEnded_) {
      size_t n = inBuf_.size();
      RINOK(in_->Read(inBuf_.data(), &n))
      inPos_ = 0;
      inLim_ = n;
      inEnded_ = n == 0;
    }
    const SizeT start = d.dicPos;
    SizeT room = d.dicBufSize - start;
    SizeT limit = start + (want - *size < room ? want - *size : room);
    SizeT inProcessed = inLim_ - inPos_;
    ELzmaStatus status;
    SRes res = lzma2_ ? Lzma2Dec_DecodeToDic(&dec2_, limit, inBuf_.data() + inPos_, &inProcessed, LZMA_FINISH_ANY, &status)
                      : LzmaDec_DecodeToDic(&dec_, limit, inBuf_.data() + inPos_, &inProcessed, LZMA_FINISH_ANY, &status);
    inPos_ += inProcessed;
    const SizeT produced = d.dicPos - start;
    std::memcpy(buf + *size, d.dic + start, produced);
    *size += produced;
    left_ -= produced;
    if (res != SZ_OK) return res;
    if (produced == 0 && inProcessed == 0 && (inEnded_ || status == LZMA_STATUS_FINISHED_WITH_MARK))
      return SZ_ERROR_DATA;  // the stream ended before the block's size was reached
  }
  if (left_ == 0 && *size > 0) return CheckEnd();
  return SZ_OK;
}

// After the last byte: the coder must end there (its end mark, or a finished range
// coder) and so must the packed stream, as the whole-block decoder demands too.
SRes LzmaStream::CheckEnd() {
  CLzmaDec& d = Decoder();
  for (;;) {
    SizeT inProcessed = inLim_ - inPos_;
    ELzmaStatus status;
    SRes res = lzma2_ ? Lzma2Dec_DecodeToDic(&dec2_, d.dicPos, inBuf_.data() + inPos_, &inProcessed, LZMA_FINISH_END, &status)
                      : LzmaDec_DecodeToDic(&dec_, d.dicPos, inBuf_.data() + inPos_, &inProcessed, LZMA_FINISH_END, &status);
    inPos_ += inProcessed;
    if (res != SZ_OK) return res;
    if (status == LZMA_STATUS_FINISHED_WITH_MARK || (!lzma2_ && status == LZMA_STATUS_MAYBE_FINISHED_WITHOUT_MARK))
      break;
    if (status != LZMA_STATUS_NEEDS_MORE_INPUT || inPos_ != inLim_ || inEnded_) return SZ_ERROR_DATA;
    size_t n = inBuf_.size();
    RINOK(in_->Read(inBuf_.data(), &n))
    inPos_ = 0;
    inLim_ = n;
    inEnded_ = n == 0;
  }
  if (inPos_ != inLim_) return SZ_ERROR_DATA;
  size_t n = inBuf_.size();
  RINOK(in_->Read(inBuf_.data(), &n))
  return n == 0 ? SZ_OK : SZ_ERROR_DATA;
}

// ---- the x86 filters ------------------------------------------------------------

SRes BcjStream::Read(Byte* out, size_t* size) {
  for (;;) {
    if (pos_ < converted_) {
      size_t n = converted_ - pos_;
      if (n > *size) n = *size;
      std::memcpy(out, buf_.data() + pos_, n);
      pos_ += n;
      *size = n;
      return SZ_OK;
    }
    if (ended_ && pos_ == lim_) {
      *size = 0;
      return SZ_OK;
    }
    std::memmove(buf_.data(), buf_.data() + pos_, lim_ - pos_);
    lim_ -= pos_;
    pos_ = 0;
    size_t got = 0;
    RINOK(ReadFull(*in_, buf_.data() + lim_, buf_.size() - lim_, &got))
    lim_ += got;
    if (got == 0) ended_ = true;
    Byte* end = z7_BranchConvSt_X86_Dec(buf_.data(), lim_, ip_, &state_);
    converted_ = static_cast<size_t>(end - buf_.data());
    ip_ += static_cast<UInt32>(converted_);
    if (ended_) converted_ = lim_;  // the last bytes are no instruction: left as they are
  }
}

Bcj2Stream::Bcj2Stream(std::unique_ptr<InStream> streams[BCJ2_NUM_STREAMS], UInt64 unpackSize) : left_(unpackSize) {
  for (unsigned i = 0; i < BCJ2_NUM_STREAMS; ++i) {
    in_[i] = std::move(streams[i]);
    buf_[i].resize(kInBuffer);  // a multiple of 4, as the call and jump streams need
  }
  Bcj2Dec_Init(&dec_);
  for (unsigned i = 0; i < BCJ2_NUM_STREAMS; ++i) dec_.bufs[i] = dec_.lims[i] = buf_[i].data();
}

SRes Bcj2Stream::Read(Byte* out, size_t* size) {
  size_t want = *size < left_ ? *size : static_cast<size_t>(left_);
  dec_.dest = out;
  dec_.destLim = out + want;
  while (dec_.dest != dec_.destLim) {
    RINOK(Bcj2Dec_Decode(&dec_))
    if (dec_.dest == dec_.destLim) break;
    const unsigned s = dec_.state;
    if (s >= BCJ2_NUM_STREAMS) return SZ_ERROR_DATA;
    size_t got = 0;
    RINOK(ReadFull(*in_[s], buf_[s].data(), buf_[s].size(), &got))
    if (got == 0 || (BCJ2_IS_32BIT_STREAM(s) && (got & 3) != 0)) return SZ_ERROR_DATA;
    dec_.bufs[s] = buf_[s].data();
    dec_.lims[s] = buf_[s].data() + got;
  }
  *size = static_cast<size_t>(dec_.dest - out);
  left_ -= *size;
  if (left_ == 0 && *size > 0) return CheckEnd();
  return SZ_OK;
}

// After the last byte every input must be used up, as in the whole-block decoder.
SRes Bcj2Stream::CheckEnd() {
  for (unsigned s = 0; s < BCJ2_NUM_STREAMS; ++s) {
    if (dec_.bufs[s] != dec_.lims[s]) return SZ_ERROR_DATA;
    Byte probe[4];
    size_t n = sizeof(probe);
    RINOK(in_[s]->Read(probe, &n))
    if (n != 0) return SZ_ERROR_DATA;
  }
  return Bcj2Dec_IsMaybeFinished(&dec_) ? SZ_OK : SZ_ERROR_DATA;
}

// ---- the library's whole-block decoder ------------------------------------------

SourceView::SourceView(SharedSource& source) : shared(&source), pos(0) {
  vt.Read = [](ISeekInStreamPtr p, void* buf, size_t* size) -> SRes {
    SourceView* v = const_cast<SourceView*>(reinterpret_cast<const SourceView*>(p));
    SRes res = v->shared->ReadAt(v->pos, buf, size);
    v->pos += *size;
    return res;
  };
  vt.Seek = [](ISeekInStreamPtr p, Int64* pos, ESzSeek origin) -> SRes {
    SourceView* v = const_cast<SourceView*>(reinterpret_cast<const SourceView*>(p));
    UInt64 base = 0;
    if (origin == SZ_SEEK_CUR) base = v->pos;
    else if (origin == SZ_SEEK_END) RINOK(v->shared->Size(&base))
    else if (origin != SZ_SEEK_SET) return kInvalidOrigin;
    if (*pos < 0 && static_cast<UInt64>(-*pos) > base) return kInvalidOrigin;
    v->pos = base + static_cast<UInt64>(*pos);
    *pos = static_cast<Int64>(v->pos);
    return SZ_OK;
  };
}

SRes WholeFolderStream::Read(Byte* buf, size_t* size) {
  if (!decoded_) {
    decoded_ = true;
    UInt64 total = SzAr_GetFolderUnpackSize(&db_.db, folder_);
    size_ = static_cast<size_t>(total);
    if (size_ != total) return SZ_ERROR_MEM;
    data_ = static_cast<Byte*>(ISzAlloc_Alloc(&kHeap, size_));
    if (!data_ && size_ != 0) return SZ_ERROR_MEM;
    std::vector<Byte> look;
    CLookToRead2 reader;
    InitLookReader(reader, look, &view_.vt);
    RINOK(SzAr_DecodeFolder(&db_.db, folder_, &reader.vt, db_.dataPos, data_, size_, &kHeap))
  }
  size_t n = size_ - pos_ < *size ? size_ - pos_ : *size;
  std::memcpy(buf, data_ + pos_, n);
  pos_ += n;
  *size = n;
  return SZ_OK;
}

}  // namespace archive7z
