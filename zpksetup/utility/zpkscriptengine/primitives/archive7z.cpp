#include "archive7z.h"

#include <7z/7z.h>
#include <7z/7zCrc.h>
#include <7z/Bcj2.h>
#include <7z/Bra.h>
#include <7z/Lzma2Dec.h>
#include <7z/LzmaDec.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace archive7z {

namespace {

// ---- memory source --------------------------------------------------------------

SRes MemoryRead(ISeekInStreamPtr p, void* buf, size_t* size) {
  MemorySource* s = const_cast<MemorySource*>(reinterpret_cast<const MemorySource*>(p));
  uint64_t left = s->pos < s->size ? s->size - s->pos : 0;
  size_t n = *size < left ? *size : static_cast<size_t>(left);
  if (n > 0) {
    std::memcpy(buf, s->data + s->pos, n);
    if (s->exchangeHead) {
      uint8_t* out = static_cast<uint8_t*>(buf);
      for (uint64_t i = s->pos; i < 2 && i < s->pos + n; ++i) out[i - s->pos] = s->data[1 - i];
    }
  }
  s->pos += n;
  *size = n;
  return SZ_OK;
}

SRes MemorySeek(ISeekInStreamPtr p, Int64* pos, ESzSeek origin) {
  MemorySource* s = const_cast<MemorySource*>(reinterpret_cast<const MemorySource*>(p));
  switch (origin) {
    case SZ_SEEK_SET:
      if (*pos < 0) return kInvalidOrigin;
      s->pos = static_cast<uint64_t>(*pos);
      return SZ_OK;
    case SZ_SEEK_CUR:
      if (*pos < 0 && static_cast<uint64_t>(-*pos) > s->pos) return kInvalidOrigin;
      s->pos += *pos;
      *pos = static_cast<Int64>(s->pos);
      return SZ_OK;
    case SZ_SEEK_END:
      s->pos = s->size;
      *pos = static_cast<Int64>(s->size);
      return SZ_OK;
  }
  return kInvalidOrigin;
}

// ---- entry names ----------------------------------------------------------------

bool IsSeparator(char16_t c) { return c == u'/' || c == u'\\'; }

char16_t Upper(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

bool IsDeviceName(const std::u16string& component) {
  // The device part is the name before the first dot, trailing spaces ignored.
  size_t end = component.find(u'.');
  if (end == std::u16string::npos) end = component.size();
  while (end > 0 && component[end - 1] == u' ') --end;
  std::u16string base;
  for (size_t i = 0; i < end; ++i) base += Upper(component[i]);
  static const char16_t* const kPlain[] = {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$", u"CLOCK$"};
  for (const char16_t* d : kPlain)
    if (base == d) return true;
  if (base.size() == 4 && (base.compare(0, 3, u"COM") == 0 || base.compare(0, 3, u"LPT") == 0)) {
    char16_t n = base[3];
    return (n >= u'0' && n <= u'9') || n == u'\u00b9' || n == u'\u00b2' || n == u'\u00b3';
  }
  return false;
}

bool IsDotsAndSpaces(const std::u16string& component) {
  for (char16_t c : component)
    if (c != u'.' && c != u' ') return false;
  return true;
}

std::u16string Normalized(const std::u16string& name) {
  std::u16string out = name;
  for (char16_t& c : out)
    if (c == u'\\') c = u'/';
  return out;
}

// ---- library plumbing -----------------------------------------------------------

void* HeapAlloc7z(ISzAllocPtr, size_t size) { return size ? std::malloc(size) : nullptr; }
void HeapFree7z(ISzAllocPtr, void* address) { std::free(address); }
const ISzAlloc kHeap = {HeapAlloc7z, HeapFree7z};

constexpr size_t kLookAhead = 1 << 14;  // the look-ahead reader asks for 16 KB at a time

void EnsureCrcTable() {
  static std::once_flag once;
  std::call_once(once, [] { CrcGenerateTable(); });
}

// Everything the library allocated for one archive, released on every path.
struct OpenArchive {
  CSzArEx db;
  CLookToRead2 look;
  std::vector<Byte> lookBuffer;

  OpenArchive() { SzArEx_Init(&db); }
  ~OpenArchive() { SzArEx_Free(&db, &kHeap); }

  int Open(ISeekInStreamPtr source) {
    lookBuffer.resize(kLookAhead);
    LookToRead2_CreateVTable(&look, False);
    look.buf = lookBuffer.data();
    look.bufSize = lookBuffer.size();
    look.realStream = source;
    LookToRead2_INIT(&look);
    return SzArEx_Open(&db, &look.vt, &kHeap, &kHeap);
  }

  // The name of entry i ('/'-separated as stored), into `name`.
  void Name(UInt32 i, std::u16string& name) {
    size_t units = SzArEx_GetFileNameUtf16(&db, i, nullptr);
    std::vector<UInt16> buf(units ? units : 1);
    SzArEx_GetFileNameUtf16(&db, i, buf.data());
    name.assign(buf.begin(), buf.begin() + (units ? units - 1 : 0));
  }
};

// ---- streaming decoders ---------------------------------------------------------
// A folder (solid block) is a small graph of coders; the shapes 7-Zip writes for
// LZMA/LZMA2, with or without the x86 BCJ or BCJ2 filter, are decoded here as pull
// streams, so only the dictionary and fixed buffers are held, never the whole block.

constexpr UInt32 kMethodCopy = 0, kMethodLzma2 = 0x21, kMethodLzma = 0x30101;
constexpr UInt32 kMethodBcj = 0x3030103, kMethodBcj2 = 0x303011B;
constexpr size_t kInBuffer = 1 << 16;   // compressed input read per refill
constexpr size_t kChunk = 1 << 20;      // decoded bytes handed over per piece
constexpr size_t kChunks = 2;           // pieces in flight: one filled while the other is used

class InStream {
 public:
  virtual ~InStream() = default;
  // Up to *size bytes into buf; *size 0 means the stream has ended.
  virtual SRes Read(Byte* buf, size_t* size) = 0;
};

// Reads until `size` bytes or the end of the stream; *got tells how many came.
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

// The archive's source as the decoder threads share it: the packed streams of a block
// (and the blocks themselves) are read from several threads, and a seek followed by a
// read is one step under one lock, so each reader reads at its own position.
class SharedSource {
 public:
  explicit SharedSource(ISeekInStreamPtr source) : source_(source) {}
  SRes ReadAt(UInt64 offset, void* buf, size_t* size) {
    std::lock_guard<std::mutex> lock(mutex_);
    Int64 pos = static_cast<Int64>(offset);
    SRes res = ISeekInStream_Seek(source_, &pos, SZ_SEEK_SET);
    if (res != SZ_OK) {
      *size = 0;
      return res;
    }
    return ISeekInStream_Read(source_, buf, size);
  }
  SRes Size(UInt64* size) {
    std::lock_guard<std::mutex> lock(mutex_);
    Int64 pos = 0;
    RINOK(ISeekInStream_Seek(source_, &pos, SZ_SEEK_END))
    *size = static_cast<UInt64>(pos);
    return SZ_OK;
  }

 private:
  ISeekInStreamPtr source_;
  std::mutex mutex_;
};

// A seekable stream over the shared source with a position of its own, for the
// library's whole-block decoder.
struct SourceView {
  ISeekInStream vt;  // first member: the library hands this pointer back
  SharedSource* shared;
  UInt64 pos;

  explicit SourceView(SharedSource& source) : shared(&source), pos(0) {
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
};

// One packed stream of the archive: a byte range of the shared source.
class PackStream : public InStream {
 public:
  PackStream(SharedSource& source, UInt64 start, UInt64 size) : source_(source), pos_(start), end_(start + size) {}
  UInt64 size() const { return end_ - pos_; }
  SRes Read(Byte* buf, size_t* size) override {
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

 private:
  SharedSource& source_;
  UInt64 pos_, end_;
};

// LZMA and LZMA2 over a circular dictionary of min(dictionary size, unpacked size).
class LzmaStream : public InStream {
 public:
  LzmaStream(std::unique_ptr<InStream> in, UInt64 unpackSize, bool lzma2)
      : in_(std::move(in)), left_(unpackSize), lzma2_(lzma2), inBuf_(kInBuffer) {
    if (lzma2_) Lzma2Dec_CONSTRUCT(&dec2_) else LzmaDec_CONSTRUCT(&dec_)
  }
  ~LzmaStream() override {
    if (!allocated_) return;
    if (lzma2_) Lzma2Dec_FreeProbs(&dec2_, &kHeap);
    else LzmaDec_FreeProbs(&dec_, &kHeap);
  }

  SRes Init(const Byte* props, unsigned propsSize) {
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

  SRes Read(Byte* buf, size_t* size) override {
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

 private:
  // After the last byte: the coder must end there (its end mark, or a finished range
  // coder) and so must the packed stream, as the whole-block decoder demands too.
  SRes CheckEnd() {
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

  CLzmaDec& Decoder() { return lzma2_ ? dec2_.decoder : dec_; }

  std::unique_ptr<InStream> in_;
  UInt64 left_;
  bool lzma2_;
  bool allocated_ = false;
  CLzmaDec dec_;
  CLzma2Dec dec2_;
  std::vector<Byte> dic_;
  std::vector<Byte> inBuf_;
  size_t inPos_ = 0, inLim_ = 0;
  bool inEnded_ = false;
};

// The x86 branch converter (BCJ) over another stream; up to 4 bytes wait for the next
// piece, since an instruction may straddle two.
class BcjStream : public InStream {
 public:
  explicit BcjStream(std::unique_ptr<InStream> in) : in_(std::move(in)), buf_(kInBuffer) {}
  SRes Read(Byte* out, size_t* size) override {
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

 private:
  std::unique_ptr<InStream> in_;
  std::vector<Byte> buf_;
  size_t pos_ = 0, converted_ = 0, lim_ = 0;
  bool ended_ = false;
  UInt32 ip_ = 0;
  UInt32 state_ = Z7_BRANCH_CONV_ST_X86_STATE_INIT_VAL;
};

// BCJ2: the main, call and jump streams (each decoded by its own coder) and the range
// coder's packed stream, merged into the original bytes.
class Bcj2Stream : public InStream {
 public:
  Bcj2Stream(std::unique_ptr<InStream> streams[BCJ2_NUM_STREAMS], UInt64 unpackSize) : left_(unpackSize) {
    for (unsigned i = 0; i < BCJ2_NUM_STREAMS; ++i) {
      in_[i] = std::move(streams[i]);
      buf_[i].resize(kInBuffer);  // a multiple of 4, as the call and jump streams need
    }
    Bcj2Dec_Init(&dec_);
    for (unsigned i = 0; i < BCJ2_NUM_STREAMS; ++i) dec_.bufs[i] = dec_.lims[i] = buf_[i].data();
  }

  SRes Read(Byte* out, size_t* size) override {
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

 private:
  // After the last byte every input must be used up, as in the whole-block decoder.
  SRes CheckEnd() {
    for (unsigned s = 0; s < BCJ2_NUM_STREAMS; ++s) {
      if (dec_.bufs[s] != dec_.lims[s]) return SZ_ERROR_DATA;
      Byte probe[4];
      size_t n = sizeof(probe);
      RINOK(in_[s]->Read(probe, &n))
      if (n != 0) return SZ_ERROR_DATA;
    }
    return Bcj2Dec_IsMaybeFinished(&dec_) ? SZ_OK : SZ_ERROR_DATA;
  }

  std::unique_ptr<InStream> in_[BCJ2_NUM_STREAMS];
  std::vector<Byte> buf_[BCJ2_NUM_STREAMS];
  CBcj2Dec dec_;
  UInt64 left_;
};

// The whole block decoded at once by the library, for methods the streams above lack.
class WholeFolderStream : public InStream {
 public:
  WholeFolderStream(const CSzArEx& db, UInt32 folder, SharedSource& source) : db_(db), folder_(folder), view_(source) {}
  ~WholeFolderStream() override { ISzAlloc_Free(&kHeap, data_); }
  SRes Read(Byte* buf, size_t* size) override {
    if (!decoded_) {
      decoded_ = true;
      UInt64 total = SzAr_GetFolderUnpackSize(&db_.db, folder_);
      size_ = static_cast<size_t>(total);
      if (size_ != total) return SZ_ERROR_MEM;
      data_ = static_cast<Byte*>(ISzAlloc_Alloc(&kHeap, size_));
      if (!data_ && size_ != 0) return SZ_ERROR_MEM;
      std::vector<Byte> look(kLookAhead);
      CLookToRead2 reader;
      LookToRead2_CreateVTable(&reader, False);
      reader.buf = look.data();
      reader.bufSize = look.size();
      reader.realStream = &view_.vt;
      LookToRead2_INIT(&reader);
      RINOK(SzAr_DecodeFolder(&db_.db, folder_, &reader.vt, db_.dataPos, data_, size_, &kHeap))
    }
    size_t n = size_ - pos_ < *size ? size_ - pos_ : *size;
    std::memcpy(buf, data_ + pos_, n);
    pos_ += n;
    *size = n;
    return SZ_OK;
  }

 private:
  const CSzArEx& db_;
  UInt32 folder_;
  SourceView view_;
  bool decoded_ = false;
  Byte* data_ = nullptr;
  size_t size_ = 0, pos_ = 0;
};

// ---- decoder thread -------------------------------------------------------------
// A stream decoded on a thread of its own into a small ring of pieces: a whole folder,
// taken by the extraction thread that checks CRCs and writes files, and the main stream
// of a BCJ2 folder, so that its LZMA2 decoding runs beside the BCJ2 merge.
class FolderPipe {
 public:
  // Decodes `size` bytes of `stream`; `res` is how setting the stream up went.
  FolderPipe(std::unique_ptr<InStream> stream, UInt64 size, SRes res) : size_(size), stream_(std::move(stream)) {
    for (auto& piece : pieces_) piece.bytes.resize(kChunk);
    if (res != SZ_OK) {
      status_ = res;
      done_ = true;
      return;
    }
    thread_ = std::thread([this] { Produce(); });
  }
  ~FolderPipe() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

  // The next piece (its bytes and count); false with `status` when decoding failed or
  // ended before the block's size.
  bool Take(const Byte** data, size_t* size, SRes& status) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (taken_ > 0) {  // the previous piece is given back
      ++consumed_;
      changed_.notify_all();
    }
    changed_.wait(lock, [this] { return produced_ > consumed_ || done_; });
    if (produced_ == consumed_) {
      status = status_ != SZ_OK ? status_ : SZ_ERROR_DATA;
      taken_ = 0;
      return false;
    }
    Piece& piece = pieces_[consumed_ % kChunks];
    *data = piece.bytes.data();
    *size = piece.size;
    taken_ = 1;
    return true;
  }

 private:
  struct Piece {
    std::vector<Byte> bytes;
    size_t size = 0;
  };

  void Produce() {
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
      std::lock_guard<std::mutex> lock(mutex_);
      ++produced_;
      changed_.notify_all();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    status_ = res;
    done_ = true;
    changed_.notify_all();
  }

  const UInt64 size_;
  std::unique_ptr<InStream> stream_;
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
  SRes Read(Byte* buf, size_t* size) override {
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

 private:
  UInt64 left_;
  FolderPipe pipe_;
  const Byte* piece_ = nullptr;
  size_t pieceLeft_ = 0;
};

// The coder `index` of a folder reading the packed stream `pack`, as a stream; null
// when the method is not one the streams handle.
std::unique_ptr<InStream> MainCoder(const CSzFolder& f, const Byte* props, unsigned index, const UInt64* unpackSizes,
                                    std::unique_ptr<PackStream> packed, SRes& res) {
  const CSzCoderInfo& c = f.Coders[index];
  if (c.NumStreams != 1) return nullptr;
  if (c.MethodID == kMethodCopy) {
    if (packed->size() != unpackSizes[index]) res = SZ_ERROR_DATA;
    return packed;
  }
  if (c.MethodID != kMethodLzma && c.MethodID != kMethodLzma2) return nullptr;
  std::unique_ptr<LzmaStream> s(new LzmaStream(std::move(packed), unpackSizes[index], c.MethodID == kMethodLzma2));
  res = s->Init(props + c.PropsOffset, c.PropsSize);
  return std::unique_ptr<InStream>(std::move(s));
}

// The folder's decoded bytes as a stream; the whole-block decoder when the folder's
// shape or methods are not the usual ones.
std::unique_ptr<InStream> FolderStream(const CSzArEx& db, UInt32 folder, SharedSource& source, SRes& res) {
  res = SZ_OK;
  const CSzAr& ar = db.db;
  const Byte* data = ar.CodersData + ar.FoCodersOffsets[folder];
  CSzData sd{data, ar.FoCodersOffsets[folder + 1] - ar.FoCodersOffsets[folder]};
  CSzFolder f;
  std::unique_ptr<InStream> whole(new WholeFolderStream(db, folder, source));
  if (SzGetNextFolderItem(&f, &sd) != SZ_OK || sd.Size != 0 || f.UnpackStream != ar.FoToMainUnpackSizeIndex[folder])
    return whole;  // the library's decoder reports what is wrong
  const UInt64* sizes = ar.CoderUnpackSizes + ar.FoToCoderUnpackSizes[folder];
  const UInt64* packPos = ar.PackPositions + ar.FoStartPackStreamIndex[folder];
  auto pack = [&](unsigned i) {
    return std::unique_ptr<PackStream>(new PackStream(source, db.dataPos + packPos[i], packPos[i + 1] - packPos[i]));
  };
  if (f.NumCoders == 1 && f.NumPackStreams == 1 && f.NumBonds == 0 && f.PackStreams[0] == 0) {
    std::unique_ptr<InStream> s = MainCoder(f, data, 0, sizes, pack(0), res);
    return s ? std::move(s) : std::move(whole);
  }
  if (f.NumCoders == 2 && f.NumPackStreams == 1 && f.NumBonds == 1 && f.PackStreams[0] == 0 &&
      f.Bonds[0].InIndex == 1 && f.Bonds[0].OutIndex == 0 && f.Coders[1].MethodID == kMethodBcj &&
      f.Coders[1].NumStreams == 1 && f.Coders[1].PropsSize == 0) {
    std::unique_ptr<InStream> s = MainCoder(f, data, 0, sizes, pack(0), res);
    if (!s) return whole;
    return std::unique_ptr<InStream>(new BcjStream(std::move(s)));
  }
  // BCJ2 as 7-Zip writes it (the shape the library accepts): coders 2, 1, 0 give the
  // main, call and jump streams from packed streams 0, 2, 3; packed stream 1 is the
  // range coder's.
  if (f.NumCoders == 4 && f.Coders[3].MethodID == kMethodBcj2 && f.Coders[3].NumStreams == 4 &&
      f.NumPackStreams == 4 && f.PackStreams[0] == 2 && f.PackStreams[1] == 6 && f.PackStreams[2] == 1 &&
      f.PackStreams[3] == 0 && f.NumBonds == 3 && f.Bonds[0].InIndex == 5 && f.Bonds[0].OutIndex == 0 &&
      f.Bonds[1].InIndex == 4 && f.Bonds[1].OutIndex == 1 && f.Bonds[2].InIndex == 3 && f.Bonds[2].OutIndex == 2) {
    std::unique_ptr<InStream> streams[BCJ2_NUM_STREAMS];
    const unsigned packOf[3] = {3, 2, 0};  // packed stream of coder 0, 1, 2
    for (unsigned ci = 0; ci < 3 && res == SZ_OK; ++ci) {
      std::unique_ptr<InStream> s = MainCoder(f, data, ci, sizes, pack(packOf[ci]), res);
      if (!s) return whole;
      if (ci == 2 && res == SZ_OK) s.reset(new ThreadedStream(std::move(s), sizes[2]));
      streams[ci == 2 ? BCJ2_STREAM_MAIN : ci == 1 ? BCJ2_STREAM_CALL : BCJ2_STREAM_JUMP] = std::move(s);
    }
    streams[BCJ2_STREAM_RC] = pack(1);
    if (sizes[0] + sizes[1] + sizes[2] != sizes[3] || (sizes[0] & 3) || (sizes[1] & 3)) res = SZ_ERROR_DATA;
    return std::unique_ptr<InStream>(new Bcj2Stream(streams, sizes[3]));
  }
  return whole;
}

// Hands the bytes of the archive's files out in archive order: one FolderPipe at a
// time, the current file's CRC (and the block's, when the archive gives only that)
// checked as its last byte passes.
class FolderReader : public FileContent {
 public:
  FolderReader(const CSzArEx& db, SharedSource& source) : db_(db), source_(source) {}

  // Makes file i the current one (its folder's pipe started when it is a new folder).
  void Begin(UInt32 file) {
    const UInt32 folder = db_.FileToFolder[file];
    if (folder != folder_) {
      pipe_.reset();
      SRes res = SZ_OK;
      std::unique_ptr<InStream> stream = FolderStream(db_, folder, source_, res);
      pipe_.reset(new FolderPipe(std::move(stream), SzAr_GetFolderUnpackSize(&db_.db, folder), res));
      folder_ = folder;
      piece_ = nullptr;
      pieceLeft_ = 0;
      folderCrc_ = CRC_INIT_VAL;
      folderLeft_ = SzAr_GetFolderUnpackSize(&db_.db, folder);
    }
    fileLeft_ = SzArEx_GetFileSize(&db_, file);
    checked_ = false;
    hasCrc_ = SzBitWithVals_Check(&db_.CRCs, file);
    wantCrc_ = hasCrc_ ? db_.CRCs.Vals[file] : 0;
    crc_ = CRC_INIT_VAL;
    failed_ = SZ_OK;
  }

  int Next(const uint8_t** data, size_t* size) override {
    *size = 0;
    if (failed_ != SZ_OK) return failed_;
    if (fileLeft_ == 0) {
      if (checked_) return SZ_OK;
      checked_ = true;
      if (hasCrc_ && CRC_GET_DIGEST(crc_) != wantCrc_) return failed_ = SZ_ERROR_CRC;
      return SZ_OK;
    }
    if (pieceLeft_ == 0) {
      SRes status;
      if (!pipe_->Take(&piece_, &pieceLeft_, status)) return failed_ = status;
    }
    size_t n = fileLeft_ < pieceLeft_ ? static_cast<size_t>(fileLeft_) : pieceLeft_;
    *data = piece_;
    *size = n;
    piece_ += n;
    pieceLeft_ -= n;
    fileLeft_ -= n;
    folderLeft_ -= n;
    crc_ = CrcUpdate(crc_, *data, n);
    if (SzBitWithVals_Check(&db_.db.FolderCRCs, folder_)) {
      folderCrc_ = CrcUpdate(folderCrc_, *data, n);
      if (folderLeft_ == 0 && CRC_GET_DIGEST(folderCrc_) != db_.db.FolderCRCs.Vals[folder_])
        return failed_ = SZ_ERROR_CRC;
    }
    return SZ_OK;
  }

  // Reads what the sink left of the current file, so the next file starts at its own
  // bytes; returns the decode or CRC result.
  int Finish() {
    const uint8_t* data;
    size_t size;
    int res;
    while ((res = Next(&data, &size)) == SZ_OK && size > 0) {
    }
    return res;
  }

 private:
  const CSzArEx& db_;
  SharedSource& source_;
  std::unique_ptr<FolderPipe> pipe_;
  UInt32 folder_ = 0xFFFFFFFF;
  const Byte* piece_ = nullptr;
  size_t pieceLeft_ = 0;
  UInt64 fileLeft_ = 0, folderLeft_ = 0;
  UInt32 crc_ = CRC_INIT_VAL, folderCrc_ = CRC_INIT_VAL, wantCrc_ = 0;
  bool hasCrc_ = false, checked_ = false;
  int failed_ = SZ_OK;
};

int ExtractEntries(OpenArchive& arc, EntrySink& sink, ISeekInStreamPtr source) {
  const CSzArEx& db = arc.db;
  std::u16string name;
  // Every name first: a hostile archive is refused before anything is written.
  for (UInt32 i = 0; i < db.NumFiles; ++i) {
    arc.Name(i, name);
    if (!IsSafeEntryName(name)) {
      sink.RejectName(name);
      return kUnsafeName;
    }
  }
  SharedSource shared(source);  // from here on several decoder threads read the source
  FolderReader reader(db, shared);
  const bool streams = sink.Streams();
  std::vector<uint8_t> whole;  // a file taken whole by a sink that does not stream
  for (UInt32 i = 0; i < db.NumFiles; ++i) {
    arc.Name(i, name);
    name = Normalized(name);
    const bool isDir = SzArEx_IsDir(&db, i);
    const bool hasBytes = !isDir && db.FileToFolder[i] != static_cast<UInt32>(-1);
    if (hasBytes) {
      reader.Begin(i);
      if (!streams) {
        whole.clear();
        const uint8_t* piece;
        size_t size;
        int res;
        while ((res = reader.Next(&piece, &size)) == kOk && size > 0) whole.insert(whole.end(), piece, piece + size);
        if (res != kOk) return res;
      }
    }
    for (size_t sep = name.find(u'/'); sep != std::u16string::npos; sep = name.find(u'/', sep + 1))
      if (sep > 0) sink.MakeDirectory(name.substr(0, sep));
    if (isDir) {
      sink.MakeDirectory(name);
      continue;
    }
    FileEntry entry{name, nullptr, static_cast<size_t>(SzArEx_GetFileSize(&db, i)), false, 0, false, 0};
    if (hasBytes && streams) entry.content = &reader;
    if (hasBytes && !streams) entry.data = whole.data();
    if (SzBitWithVals_Check(&db.Attribs, i)) {
      entry.hasAttributes = true;
      entry.attributes = SettableAttributes(db.Attribs.Vals[i]);
    }
    if (SzBitWithVals_Check(&db.MTime, i)) {
      entry.hasModified = true;
      entry.modified = (static_cast<uint64_t>(db.MTime.Vals[i].High) << 32) | db.MTime.Vals[i].Low;
    }
    int res = sink.WriteFile(entry);
    if (res != kOk) return res;
    if (hasBytes && streams) {
      res = reader.Finish();  // the bytes a skipped file left, and its CRC
      if (res != kOk) return res;
    }
  }
  return kOk;
}

}  // namespace

void InitMemorySource(MemorySource& source, const void* data, uint32_t size, bool exchangeHead) {
  source.vt.Read = MemoryRead;
  source.vt.Seek = MemorySeek;
  source.data = static_cast<const uint8_t*>(data);
  source.size = data ? size : 0;
  source.pos = 0;
  source.exchangeHead = exchangeHead && source.size >= 2;
}

bool IsSafeEntryName(const std::u16string& name) {
  if (name.empty() || IsSeparator(name[0])) return false;
  if (name.find(u':') != std::u16string::npos) return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = start;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    std::u16string component = name.substr(start, end - start);
    if (!component.empty() && (IsDotsAndSpaces(component) || IsDeviceName(component))) return false;
    for (char16_t c : component)
      if (c < 0x20) return false;
    start = end + 1;
  }
  return true;
}

uint32_t SettableAttributes(uint32_t archived) {
  constexpr uint32_t kUnixExtension = 0x8000;
  // read-only, hidden, system, archive, normal, temporary, offline, not indexed
  constexpr uint32_t kSettable = 0x1 | 0x2 | 0x4 | 0x20 | 0x80 | 0x100 | 0x1000 | 0x2000;
  if (archived & kUnixExtension) archived &= 0x7FFF;
  uint32_t attributes = archived & kSettable;
  return attributes ? attributes : 0x80;  // FILE_ATTRIBUTE_NORMAL
}

int Extract(ISeekInStreamPtr source, EntrySink& sink) {
  EnsureCrcTable();
  try {
    OpenArchive arc;
    int res = arc.Open(source);
    if (res != SZ_OK) return res;
    return ExtractEntries(arc, sink, source);
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  } catch (const std::system_error&) {
    return kNoMemory;  // a decoder thread could not be started: the system lacks resources
  }
}

}  // namespace archive7z
