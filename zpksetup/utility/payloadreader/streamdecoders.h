// The pull streams a folder (solid block) of a 7z archive is decoded through: a packed
// stream of the archive, the LZMA/LZMA2 coder, the x86 BCJ filter, the BCJ2 merge and the
// library's whole-block decoder, each holding a dictionary and fixed buffers at most (the
// whole block only in the last). Also the archive's source as the decoder threads share
// it. Which streams a folder chains is foldercoders' choice (codergraph names the shapes);
// the threaded stream is folderpipe's. Internal to the payload reader.
#pragma once
#include <7z/7z.h>
#include <7z/Bcj2.h>
#include <7z/Bra.h>
#include <7z/Lzma2Dec.h>
#include <7z/LzmaDec.h>

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

namespace archive7z {

// Plain heap allocation for the library.
extern const ISzAlloc kHeap;

constexpr size_t kLookAhead = 1 << 14;  // the look-ahead reader asks for 16 KB at a time
constexpr size_t kInBuffer = 1 << 16;   // compressed input read per refill
constexpr size_t kChunk = 1 << 20;      // decoded bytes handed over per piece

// The library's look-ahead reader over `source`, reading through `buffer` (resized to
// kLookAhead), which must outlive it.
void InitLookReader(CLookToRead2& reader, std::vector<Byte>& buffer, ISeekInStreamPtr source);

class InStream {
 public:
  virtual ~InStream() = default;
  // Up to *size bytes into buf; *size 0 means the stream has ended.
  virtual SRes Read(Byte* buf, size_t* size) = 0;
};

// Reads until `size` bytes or the end of the stream; *got tells how many came.
SRes ReadFull(InStream& in, Byte* buf, size_t size, size_t* got);

// The archive's source as the decoder threads share it: the packed streams of a block
// (and the blocks themselves) are read from several threads, and a seek followed by a
// read is one step under one lock, so each reader reads at its own position.
class SharedSource {
 public:
  explicit SharedSource(ISeekInStreamPtr source) : source_(source) {}
  SRes ReadAt(UInt64 offset, void* buf, size_t* size);
  SRes Size(UInt64* size);

 private:
  ISeekInStreamPtr source_;
  std::mutex mutex_;
};

// One packed stream of the archive: a byte range of the shared source.
class PackStream : public InStream {
 public:
  PackStream(SharedSource& source, UInt64 start, UInt64 size) : source_(source), pos_(start), end_(start + size) {}
  UInt64 size() const { return end_ - pos_; }
  SRes Read(Byte* buf, size_t* size) override;

 private:
  SharedSource& source_;
  UInt64 pos_, end_;
};

// LZMA and LZMA2 over a circular dictionary of min(dictionary size, unpacked size).
class LzmaStream : public InStream {
 public:
  LzmaStream(std::unique_ptr<InStream> in, UInt64 unpackSize, bool lzma2);
  ~LzmaStream() override;
  // The coder's properties from the archive; fails on damaged ones or without memory.
  SRes Init(const Byte* props, unsigned propsSize);
  SRes Read(Byte* buf, size_t* size) override;

 private:
  SRes CheckEnd();
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
  SRes Read(Byte* out, size_t* size) override;

 private:
  std::unique_ptr<InStream> in_;
  std::vector<Byte> buf_;
  size_t pos_ = 0, converted_ = 0, lim_ = 0;
  bool ended_ = false;
  UInt32 ip_ = 0;
  UInt32 state_ = Z7_BRANCH_CONV_ST_X86_STATE_INIT_VAL;
};

// BCJ2: the main, call and jump streams (each decoded by its own coder) and the range
// coder's packed stream, indexed by BCJ2_STREAM_*, merged into the original bytes.
class Bcj2Stream : public InStream {
 public:
  Bcj2Stream(std::unique_ptr<InStream> streams[BCJ2_NUM_STREAMS], UInt64 unpackSize);
  SRes Read(Byte* out, size_t* size) override;

 private:
  SRes CheckEnd();

  std::unique_ptr<InStream> in_[BCJ2_NUM_STREAMS];
  std::vector<Byte> buf_[BCJ2_NUM_STREAMS];
  CBcj2Dec dec_;
  UInt64 left_;
};

// A seekable stream over the shared source with a position of its own, for the
// library's whole-block decoder.
struct SourceView {
  ISeekInStream vt;  // first member: the library hands this pointer back
  SharedSource* shared;
  UInt64 pos;

  explicit SourceView(SharedSource& source);
};

// The whole block decoded at once by the library, for shapes and methods the streams
// above lack.
class WholeFolderStream : public InStream {
 public:
  WholeFolderStream(const CSzArEx& db, UInt32 folder, SharedSource& source) : db_(db), folder_(folder), view_(source) {}
  ~WholeFolderStream() override { ISzAlloc_Free(&kHeap, data_); }
  SRes Read(Byte* buf, size_t* size) override;

 private:
  const CSzArEx& db_;
  UInt32 folder_;
  SourceView view_;
  bool decoded_ = false;
  Byte* data_ = nullptr;
  size_t size_ = 0, pos_ = 0;
};

}  // namespace archive7z
