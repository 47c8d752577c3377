// Reading a 7z archive entry by entry with the LZMA SDK's decoder, independent of the
// platform: the memory source, the check of entry names and the extraction loop. What
// happens to each entry on disk is the caller's EntrySink, so the reader can also run
// natively (fuzzing, tools).
#pragma once
#include <7z/7zTypes.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace archive7z {

// Result codes use the library's numbering (SZ_OK, SZ_ERROR_*).
constexpr int kOk = SZ_OK;
constexpr int kNoMemory = SZ_ERROR_MEM;
constexpr int kFail = SZ_ERROR_FAIL;
constexpr int kUnsafeName = SZ_ERROR_ARCHIVE;
constexpr int kInvalidOrigin = 87;  // ERROR_INVALID_PARAMETER, as the file stream reports it

// An archive held in memory. The payload resource is stored with its first two bytes
// exchanged (so it does not look like a 7z file); exchangeHead undoes that while
// reading, leaving the caller's bytes (the loaded image) untouched.
struct MemorySource {
  ISeekInStream vt;  // first member: the library hands this pointer back
  const uint8_t* data;
  uint64_t size;
  uint64_t pos;
  bool exchangeHead;
};
void InitMemorySource(MemorySource& source, const void* data, uint32_t size, bool exchangeHead);

// Bytes [offset, offset + size) of another stream read as an archive of their own: the
// payload inside the installer's file, read through a file handle so that its pages never
// count in the process's memory. exchangeHead as for MemorySource. Each read seeks the base
// stream first, so several readers may share it under one lock (SharedSource).
struct RangeSource {
  ISeekInStream vt;  // first member: the library hands this pointer back
  ISeekInStreamPtr base;
  uint64_t offset;
  uint64_t size;
  uint64_t pos;
  bool exchangeHead;
  uint8_t head[2];  // the range's first two bytes as they are to be read
};
// Reads the range's first bytes once; an error of the base stream is returned.
int InitRangeSource(RangeSource& source, ISeekInStreamPtr base, uint64_t offset, uint64_t size, bool exchangeHead);

// True when a name read from an archive names a place inside the destination: not
// absolute or rooted, no drive letter or stream (':'), no component made of dots and
// spaces only (".", "..", and what Windows trims to them), no device name (CON, NUL,
// COM1...). Both '/' and '\' count as separators, since Windows treats them alike.
bool IsSafeEntryName(const std::u16string& name);

struct FileEntry {
  const std::u16string& name;  // '/'-separated, checked by IsSafeEntryName
  uint64_t size;
  bool hasAttributes;
  uint32_t attributes;  // already reduced to what SetFileAttributes accepts
  bool hasModified;
  uint64_t modified;  // FILETIME: 100 ns units since 1601
};

// Where the bytes of one file go while it is written. Destroyed without Commit (its
// block was damaged, or the extraction stopped elsewhere) it removes what it wrote, so
// no half-written file is left behind.
class FileOutput {
 public:
  virtual ~FileOutput() = default;
  // The file's next bytes; kOk, or the code that stops the extraction.
  virtual int Write(const uint8_t* data, size_t size) = 0;
  // Every byte written and checked: finishes the file (time, attributes) and reports
  // it. kOk, or the code that stops the extraction.
  virtual int Commit() = 0;
};

// Called only on the thread that runs Extract.
class EntrySink {
 public:
  virtual ~EntrySink() = default;
  // A directory to create: every parent of an entry, and each directory entry.
  virtual void MakeDirectory(const std::u16string& name) = 0;
  // A file about to be written (its parents made): kOk with `out` set to where its bytes
  // go, kOk with `out` left empty to skip it (its bytes are still decoded and checked),
  // or the code that stops the extraction. Files of several blocks may be open at once.
  virtual int OpenFile(const FileEntry& entry, std::unique_ptr<FileOutput>& out) = 0;
  // Called once, before anything is written, for the first name that is unsafe.
  virtual void RejectName(const std::u16string& name) {}
};

struct ExtractOptions {
  // Blocks decoded at once, at most (each on threads of its own).
  unsigned threads = 1;
  // Bytes that the dictionaries and buffers of all blocks decoded at once may hold; a
  // block that needs more is decoded alone.
  uint64_t memoryBudget = uint64_t{256} << 20;
};

// Opens the archive read through `source` (behind the library's look-ahead reader),
// checks every entry name first, then hands the entries to `sink`: directories and
// empty files in archive order, then the files of the solid blocks as they are decoded,
// up to options.threads blocks at once within options.memoryBudget. Files of one block
// come in archive order; files of different blocks interleave, several open at once.
// Each file's CRC is checked before it is committed. Blocks are decoded as streams on
// threads of their own in memory bounded by the dictionary and a few buffers (a BCJ2
// block's main stream on one more); decoder threads read `source` under one lock, each
// seek and the read after it as one step, so `source` needs no locking of its own but
// must not be used elsewhere during the call. Methods the streaming decoder lacks (PPMd,
// filters other than x86) fall back to decoding the whole block.
// Returns kOk, a library code (no archive, data or CRC error...), kNoMemory (also when a
// decoder thread cannot be started), kUnsafeName (nothing handed to the sink) or the
// sink's stop code; on any failure every file still open is discarded.
int Extract(ISeekInStreamPtr source, EntrySink& sink, const ExtractOptions& options = ExtractOptions());

// Windows file attributes from an archive's attribute field: archives made on Unix keep
// the mode in the high 16 bits (flag 0x8000); only settable attributes remain.
uint32_t SettableAttributes(uint32_t archived);

}  // namespace archive7z
