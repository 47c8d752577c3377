#include "foldercoders.h"

#include <7z/7zCrc.h>
#include <7z/Bcj2.h>
#include <7z/Bra.h>
#include <7z/Lzma2Dec.h>
#include <7z/LzmaDec.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "archive7z.h"
#include "folderpipe.h"

namespace archive7z {

namespace {

void* HeapAlloc7z(ISzAllocPtr, size_t size) { return size ? std::malloc(size) : nullptr; }
void HeapFree7z(ISzAllocPtr, void* address) { std::free(address); }

}  // namespace

const ISzAlloc kHeap = {HeapAlloc7z, HeapFree7z};

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

namespace {

// A folder (solid block) is a small graph of coders; the shapes 7-Zip writes for
// LZMA/LZMA2, with or without the x86 BCJ or BCJ2 filter, are decoded here as pull
// streams, so only the dictionary and fixed buffers are held, never the whole block.

constexpr UInt32 kMethodCopy = 0, kMethodLzma2 = 0x21, kMethodLzma = 0x30101;
constexpr UInt32 kMethodBcj = 0x3030103, kMethodBcj2 = 0x303011B, kMethodPpmd = 0x30401;

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

bool Streamable(const CSzCoderInfo& c) {
  return c.NumStreams == 1 && (c.MethodID == kMethodCopy || c.MethodID == kMethodLzma || c.MethodID == kMethodLzma2);
}

enum class Shape { kWhole, kSingle, kBcj, kBcj2 };

// Which of the streamed shapes the folder has (its coders read into `f`); kWhole for
// anything else, which the library's decoder handles (and reports when it is wrong).
Shape Classify(const CSzAr& ar, UInt32 folder, CSzFolder& f) {
  f = CSzFolder();
  const Byte* data = ar.CodersData + ar.FoCodersOffsets[folder];
  CSzData sd{data, ar.FoCodersOffsets[folder + 1] - ar.FoCodersOffsets[folder]};
  if (SzGetNextFolderItem(&f, &sd) != SZ_OK || sd.Size != 0 || f.UnpackStream != ar.FoToMainUnpackSizeIndex[folder]) {
    f = CSzFolder();
    return Shape::kWhole;
  }
  if (f.NumCoders == 1 && f.NumPackStreams == 1 && f.NumBonds == 0 && f.PackStreams[0] == 0)
    return Streamable(f.Coders[0]) ? Shape::kSingle : Shape::kWhole;
  if (f.NumCoders == 2 && f.NumPackStreams == 1 && f.NumBonds == 1 && f.PackStreams[0] == 0 &&
      f.Bonds[0].InIndex == 1 && f.Bonds[0].OutIndex == 0 && f.Coders[1].MethodID == kMethodBcj &&
      f.Coders[1].NumStreams == 1 && f.Coders[1].PropsSize == 0)
    return Streamable(f.Coders[0]) ? Shape::kBcj : Shape::kWhole;
  // BCJ2 as 7-Zip writes it (the shape the library accepts): coders 2, 1, 0 give the
  // main, call and jump streams from packed streams 0, 2, 3; packed stream 1 is the
  // range coder's.
  if (f.NumCoders == 4 && f.Coders[3].MethodID == kMethodBcj2 && f.Coders[3].NumStreams == 4 &&
      f.NumPackStreams == 4 && f.PackStreams[0] == 2 && f.PackStreams[1] == 6 && f.PackStreams[2] == 1 &&
      f.PackStreams[3] == 0 && f.NumBonds == 3 && f.Bonds[0].InIndex == 5 && f.Bonds[0].OutIndex == 0 &&
      f.Bonds[1].InIndex == 4 && f.Bonds[1].OutIndex == 1 && f.Bonds[2].InIndex == 3 && f.Bonds[2].OutIndex == 2)
    return Streamable(f.Coders[0]) && Streamable(f.Coders[1]) && Streamable(f.Coders[2]) ? Shape::kBcj2 : Shape::kWhole;
  return Shape::kWhole;
}

UInt32 ReadUInt32(const Byte* p) {
  return p[0] | static_cast<UInt32>(p[1]) << 8 | static_cast<UInt32>(p[2]) << 16 | static_cast<UInt32>(p[3]) << 24;
}

// What one streamed coder holds: its dictionary (never more than its output), its
// probabilities and its input buffer.
UInt64 CoderMemory(const CSzCoderInfo& c, const Byte* props, UInt64 unpackSize) {
  UInt64 dic = 0, probs = 0;
  if (c.MethodID == kMethodLzma && c.PropsSize >= 5) {
    dic = ReadUInt32(props + 1);
    const unsigned d = props[0] % (9 * 5 * 5), lc = d % 9, lp = (d / 9) % 5;
    probs = (1846 + (UInt64{0x300} << (lc + lp))) * sizeof(CLzmaProb);
  } else if (c.MethodID == kMethodLzma2 && c.PropsSize == 1) {
    const unsigned p = props[0] < 40 ? props[0] : 40;
    dic = p == 40 ? 0xFFFFFFFFu : UInt64{2u | (p & 1u)} << (p / 2 + 11);
    probs = (1846 + (UInt64{0x300} << 4)) * sizeof(CLzmaProb);
  } else {
    return kInBuffer;
  }
  return (dic < unpackSize ? dic : unpackSize) + probs + kInBuffer;
}

}  // namespace

std::unique_ptr<InStream> FolderStream(const CSzArEx& db, UInt32 folder, SharedSource& source, SRes& res) {
  res = SZ_OK;
  const CSzAr& ar = db.db;
  const Byte* data = ar.CodersData + ar.FoCodersOffsets[folder];
  CSzFolder f;
  const Shape shape = Classify(ar, folder, f);
  if (shape == Shape::kWhole) return std::unique_ptr<InStream>(new WholeFolderStream(db, folder, source));
  const UInt64* sizes = ar.CoderUnpackSizes + ar.FoToCoderUnpackSizes[folder];
  const UInt64* packPos = ar.PackPositions + ar.FoStartPackStreamIndex[folder];
  auto pack = [&](unsigned i) {
    return std::unique_ptr<PackStream>(new PackStream(source, db.dataPos + packPos[i], packPos[i + 1] - packPos[i]));
  };
  if (shape == Shape::kSingle) return MainCoder(f, data, 0, sizes, pack(0), res);
  if (shape == Shape::kBcj) return std::unique_ptr<InStream>(new BcjStream(MainCoder(f, data, 0, sizes, pack(0), res)));
  std::unique_ptr<InStream> streams[BCJ2_NUM_STREAMS];
  const unsigned packOf[3] = {3, 2, 0};  // packed stream of coder 0, 1, 2
  for (unsigned ci = 0; ci < 3; ++ci) {
    SRes coderRes = SZ_OK;
    std::unique_ptr<InStream> s = MainCoder(f, data, ci, sizes, pack(packOf[ci]), coderRes);
    if (coderRes != SZ_OK && res == SZ_OK) res = coderRes;
    // The main stream decodes on a thread of its own, beside the merge.
    if (ci == 2 && res == SZ_OK) s.reset(new ThreadedStream(std::move(s), sizes[2]));
    streams[ci == 2 ? BCJ2_STREAM_MAIN : ci == 1 ? BCJ2_STREAM_CALL : BCJ2_STREAM_JUMP] = std::move(s);
  }
  streams[BCJ2_STREAM_RC] = pack(1);
  if (sizes[0] + sizes[1] + sizes[2] != sizes[3] || (sizes[0] & 3) || (sizes[1] & 3)) res = SZ_ERROR_DATA;
  return std::unique_ptr<InStream>(new Bcj2Stream(streams, sizes[3]));
}

UInt64 FolderMemory(const CSzArEx& db, UInt32 folder) {
  const CSzAr& ar = db.db;
  const Byte* data = ar.CodersData + ar.FoCodersOffsets[folder];
  const UInt64* sizes = ar.CoderUnpackSizes + ar.FoToCoderUnpackSizes[folder];
  UInt64 total = kChunks * kChunk;  // the pieces between the folder's decoder and the writer
  CSzFolder f;
  switch (Classify(ar, folder, f)) {
    case Shape::kSingle:
      return total + CoderMemory(f.Coders[0], data + f.Coders[0].PropsOffset, sizes[0]);
    case Shape::kBcj:
      return total + CoderMemory(f.Coders[0], data + f.Coders[0].PropsOffset, sizes[0]) + kInBuffer;
    case Shape::kBcj2:
      total += kChunks * kChunk + BCJ2_NUM_STREAMS * kInBuffer;  // the main stream's thread, the merge's inputs
      for (unsigned i = 0; i < 3; ++i) total += CoderMemory(f.Coders[i], data + f.Coders[i].PropsOffset, sizes[i]);
      return total;
    case Shape::kWhole:
      break;
  }
  // The library decodes into one buffer of the block's size, with buffers of their own
  // for the inner coders' outputs and PPMd's model.
  total += SzAr_GetFolderUnpackSize(&ar, folder) + kLookAhead;
  for (UInt32 i = 0; i < f.NumCoders && i < SZ_NUM_CODERS_IN_FOLDER_MAX; ++i) {
    if (i != f.UnpackStream) total += sizes[i];
    if (f.Coders[i].MethodID == kMethodPpmd && f.Coders[i].PropsSize >= 5)
      total += ReadUInt32(data + f.Coders[i].PropsOffset + 1);
  }
  return total;
}

}  // namespace archive7z
