// A resource's bytes read through a handle on the module's own file instead of its mapped
// image: the pages of the image that hold them are never touched, so reading the ~90 MB
// payload (its hash, its extraction) does not make the process's memory grow by its size.
#pragma once
#include <windows.h>

#include <cstdint>

#include "resource/moduleresource.h"

namespace qvbase {

class ResourceFile {
 public:
  ResourceFile() = default;
  ~ResourceFile();
  ResourceFile(const ResourceFile&) = delete;
  ResourceFile& operator=(const ResourceFile&) = delete;

  // Opens the file of `module` (null: the program) for reading and finds where `bytes`
  // (read from that module by ReadModuleResource) lie in it. False when the file cannot be
  // opened or the bytes are not stored in it as they are mapped.
  bool Open(HMODULE module, const ResourceBytes& bytes);
  // `size` bytes from `at` (relative to the resource) into `buffer`.
  bool Read(uint64_t at, void* buffer, DWORD size) const;

  HANDLE handle() const { return file_; }
  uint64_t offset() const { return offset_; }
  DWORD size() const { return size_; }

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE;
  uint64_t offset_ = 0;
  DWORD size_ = 0;
};

}  // namespace qvbase
