// The decoders of one folder (solid block) of a 7z archive as pull streams, and the
// archive's source as the decoder threads share it. Internal to archive7z.cpp and the
// block scheduler (blockscheduler.cpp).
#pragma once
#include <7z/7z.h>

#include <cstddef>
#include <memory>
#include <mutex>

namespace archive7z {

// Plain heap allocation for the library.
extern const ISzAlloc kHeap;

constexpr size_t kLookAhead = 1 << 14;  // the look-ahead reader asks for 16 KB at a time
constexpr size_t kInBuffer = 1 << 16;   // compressed input read per refill
constexpr size_t kChunk = 1 << 20;      // decoded bytes handed over per piece

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

// The folder's decoded bytes as a stream: LZMA and LZMA2, alone or under the x86 BCJ or
// BCJ2 filter (the shapes 7-Zip writes), decoded piece by piece over a dictionary and
// fixed buffers; any other shape or method through the library's whole-block decoder.
// `res` tells how setting the stream up went (a damaged coder description, no memory).
std::unique_ptr<InStream> FolderStream(const CSzArEx& db, UInt32 folder, SharedSource& source, SRes& res);

// The bytes FolderStream's decoding of the folder holds at once (dictionaries, buffers,
// the decoder thread's pieces; the whole block where the library decodes it), so that
// the blocks decoded side by side stay within one memory budget.
UInt64 FolderMemory(const CSzArEx& db, UInt32 folder);

}  // namespace archive7z
