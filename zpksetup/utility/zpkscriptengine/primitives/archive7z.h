// Reading a 7z archive entry by entry with the LZMA SDK's decoder, independent of the
// platform: the memory source, the check of entry names and the extraction loop. What
// happens to each entry on disk is the caller's EntrySink, so the reader can also run
// natively (fuzzing, tools).
#pragma once
#include <7z/7zTypes.h>

#include <cstddef>
#include <cstdint>
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

// True when a name read from an archive names a place inside the destination: not
// absolute or rooted, no drive letter or stream (':'), no component made of dots and
// spaces only (".", "..", and what Windows trims to them), no device name (CON, NUL,
// COM1...). Both '/' and '\' count as separators, since Windows treats them alike.
bool IsSafeEntryName(const std::u16string& name);

// The decoded bytes of one file as they come out of the decoder, for sinks that write
// while decoding goes on (EntrySink::Streams).
class FileContent {
 public:
  virtual ~FileContent() = default;
  // The next piece of the file: *size is 0 once the file is complete and its CRC checked.
  // Returns kOk, or the library's code (data or CRC error) that must stop the extraction.
  virtual int Next(const uint8_t** data, size_t* size) = 0;
};

struct FileEntry {
  const std::u16string& name;  // '/'-separated, checked by IsSafeEntryName
  const uint8_t* data;  // the whole file, or null when `content` delivers it
  size_t size;
  bool hasAttributes;
  uint32_t attributes;  // already reduced to what SetFileAttributes accepts
  bool hasModified;
  uint64_t modified;  // FILETIME: 100 ns units since 1601
  FileContent* content = nullptr;  // set for sinks that stream; bytes not read are skipped
};

class EntrySink {
 public:
  virtual ~EntrySink() = default;
  // A directory to create: every parent of an entry, and each directory entry.
  virtual void MakeDirectory(const std::u16string& name) = 0;
  // A decoded file; returns kOk to go on (also when the file was skipped) or the code
  // that stops the extraction.
  virtual int WriteFile(const FileEntry& entry) = 0;
  // Called once, before anything is written, for the first name that is unsafe.
  virtual void RejectName(const std::u16string& name) {}
  // True when WriteFile reads entry.content piece by piece (memory bounded by the
  // decoder's buffers); otherwise each file comes whole in entry.data.
  virtual bool Streams() const { return false; }
};

// Opens the archive read through `source` (behind the library's look-ahead reader),
// checks every entry name first, then hands the entries to `sink` in archive order.
// Solid blocks are decoded as a stream on a second thread while the sink writes, in
// memory bounded by the dictionary and a few buffers (a BCJ2 block's main stream on a
// third). Decoder threads read `source` under one lock, each seek and the read after it
// as one step, so `source` needs no locking of its own but must not be used elsewhere
// during the call. Methods the streaming decoder lacks (PPMd, filters other than x86)
// fall back to decoding the whole block.
// Returns kOk, a library code (no archive, data or CRC error...), kNoMemory (also when a
// decoder thread cannot be started), kUnsafeName (nothing handed to the sink) or the
// sink's stop code.
int Extract(ISeekInStreamPtr source, EntrySink& sink);

// Windows file attributes from an archive's attribute field: archives made on Unix keep
// the mode in the high 16 bits (flag 0x8000); only settable attributes remain.
uint32_t SettableAttributes(uint32_t archived);

}  // namespace archive7z
