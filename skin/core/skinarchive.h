// The skin package: a zip archive held in memory, read by entry path ("/" separators,
// matched without regard to case, as Windows paths are).
#pragma once
#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace skin {

class CSkinArchive {
 public:
  CSkinArchive() = default;
  ~CSkinArchive();
  CSkinArchive(const CSkinArchive&) = delete;
  CSkinArchive& operator=(const CSkinArchive&) = delete;

  // Keeps a copy of the bytes; false (and an empty archive) when they are no zip.
  bool Open(const void* data, size_t size);
  void Close();
  bool IsOpen() const { return m_zip != nullptr; }
  bool Exists(const std::wstring& path) const;
  // False for a missing entry, a damaged one (CRC or inflate error) or one larger than
  // the limit below.
  bool Read(const std::wstring& path, std::string* bytes) const;
  std::vector<std::wstring> Entries() const;

  static constexpr unsigned long kMaxEntrySize = 64ul << 20;

  // The bytes and position the memory reader works on (public for its C callbacks).
  struct Memory {
    std::string bytes;
    size_t pos = 0;
  };

 private:
  static std::wstring Key(const std::wstring& path);

  Memory m_memory;
  void* m_zip = nullptr;  // unzFile
  struct Position { unsigned long dirPos; unsigned long fileNum; unsigned long size; };
  std::map<std::wstring, Position> m_index;
  std::map<std::wstring, std::wstring> m_names;
};

}  // namespace skin
