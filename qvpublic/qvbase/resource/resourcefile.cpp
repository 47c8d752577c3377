#include "resource/resourcefile.h"

#include <cstring>
#include <string>

#include "resource/imagelayout.h"

namespace qvbase {

namespace {

// The module's path, however long.
std::wstring ModulePath(HMODULE module) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(module, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0) return std::wstring();
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

// The headers of a mapped image lie in its first page, which is always mapped.
constexpr size_t kHeaderPage = 4096;

}  // namespace

ResourceFile::~ResourceFile() {
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

bool ResourceFile::Open(HMODULE module, const ResourceBytes& bytes) {
  if (!module) module = GetModuleHandleW(nullptr);
  const uint8_t* base = reinterpret_cast<const uint8_t*>(module);
  if (!bytes.data || bytes.data < base) return false;
  const uint64_t rva = static_cast<uint64_t>(bytes.data - base);
  if (rva > UINT32_MAX || !FileOffsetOfRva(base, kHeaderPage, static_cast<uint32_t>(rva), bytes.size, &offset_))
    return false;
  const std::wstring path = ModulePath(module);
  if (path.empty()) return false;
  // The loader holds the image open for reading; a reader that shares everything it may
  // is never refused.
  file_ = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file_ == INVALID_HANDLE_VALUE) return false;
  size_ = bytes.size;
  // The file must hold what the image shows: its first bytes compared, so a file that was
  // replaced since the program started is not read as its payload.
  uint8_t head[64];
  const DWORD n = size_ < sizeof head ? size_ : static_cast<DWORD>(sizeof head);
  if (!Read(0, head, n) || memcmp(head, bytes.data, n) != 0) {
    CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
    return false;
  }
  return true;
}

bool ResourceFile::Read(uint64_t at, void* buffer, DWORD size) const {
  if (at > size_ || size > size_ - at) return false;
  OVERLAPPED where = {};
  const uint64_t position = offset_ + at;
  where.Offset = static_cast<DWORD>(position);
  where.OffsetHigh = static_cast<DWORD>(position >> 32);
  DWORD got = 0;
  return ReadFile(file_, buffer, size, &got, &where) && got == size;
}

}  // namespace qvbase
