#include "extractdisk.h"

#include <windows.h>

#include <cwchar>
#include <memory>
#include <unordered_set>

#include "archive7z.h"
#include "handles.h"
#include "log/debugoutput.h"
#include "pathlinks.h"
#include "scriptcallback.h"

namespace {

constexpr DWORD kWriteChunk = 4u << 20;  // file writes go out in chunks of at most 4 MiB
// CREATE_ALWAYS fails on an existing file with any of these unless they are asked for
// again: an earlier installation's hidden or system file is cleared first.
constexpr DWORD kBlockingAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
const wchar_t kPrimitive[] = L"Lua_UnCompress7z";

std::wstring FullPathOf(const std::wstring& path) {
  DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return std::wstring();
  std::wstring full(needed, L'\0');
  DWORD len = GetFullPathNameW(path.c_str(), needed, &full[0], nullptr);
  full.resize(len < needed ? len : 0);
  return full;
}

std::wstring WithoutTrailingSeparators(std::wstring path) {
  while (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  return path;
}

HANDLE CreateTarget(const std::wstring& path) {
  return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool WriteAll(HANDLE file, const uint8_t* data, size_t size) {
  while (size > 0) {
    DWORD chunk = size < kWriteChunk ? static_cast<DWORD>(size) : kWriteChunk;
    DWORD written = 0;
    if (!::WriteFile(file, data, chunk, &written, nullptr) || written != chunk) return false;
    data += chunk;
    size -= chunk;
  }
  return true;
}

// One file being written. Files of several blocks can be open at once; one given up
// before its commit (its bytes failed their check, a write failed, another block broke)
// is deleted rather than left half-written.
class DiskFile : public archive7z::FileOutput {
 public:
  DiskFile(HANDLE file, const std::wstring& path, const archive7z::FileEntry& entry, ScriptCallback& onFile)
      : file_(file),
        path_(path),
        hasModified_(entry.hasModified),
        modified_(entry.modified),
        hasAttributes_(entry.hasAttributes),
        attributes_(entry.attributes),
        onFile_(onFile) {}
  ~DiskFile() override {
    if (committed_) return;
    file_.reset();
    DeleteFileW(path_.c_str());
  }

  int Write(const uint8_t* data, size_t size) override {
    return WriteAll(file_.get(), data, size) ? archive7z::kOk : archive7z::kFail;
  }

  int Commit() override {
    committed_ = true;
    if (hasModified_) {
      FILETIME modified;
      modified.dwLowDateTime = static_cast<DWORD>(modified_);
      modified.dwHighDateTime = static_cast<DWORD>(modified_ >> 32);
      SetFileTime(file_.get(), nullptr, nullptr, &modified);
    }
    if (!CloseHandle(file_.release())) return archive7z::kFail;
    // After closing, so that a read-only attribute does not hinder the write.
    if (hasAttributes_) SetFileAttributesW(path_.c_str(), attributes_);
    if (onFile_) onFile_.Call(path_);
    return archive7z::kOk;
  }

 private:
  UniqueFileHandle file_;
  const std::wstring path_;
  const bool hasModified_;
  const uint64_t modified_;
  const bool hasAttributes_;
  const uint32_t attributes_;
  ScriptCallback& onFile_;
  bool committed_ = false;
};

class DiskWriter : public archive7z::EntrySink {
 public:
  DiskWriter(const std::wstring& destination, ScriptCallback& onFile, ScriptCallback& onError)
      : destination_(destination),
        root_(WithoutTrailingSeparators(FullPathOf(destination)) + L"\\"),
        onFile_(onFile),
        onError_(onError) {}

  // Parents come before their children, so a folder is created (or found to be a real
  // one) only inside a folder already known to be real: nothing goes through a link.
  void MakeDirectory(const std::u16string& name) override {
    if (!link_.empty() || realFolders_.count(name)) return;
    if (!ParentIsReal(name)) return;
    const std::wstring& path = Join(name);
    if (!Inside(path)) return;
    if (!CreateDirectoryW(path.c_str(), nullptr) && IsReparsePoint(path)) {
      RefuseLink(path);
      return;
    }
    realFolders_.insert(name);
  }

  int OpenFile(const archive7z::FileEntry& entry, std::unique_ptr<archive7z::FileOutput>& out) override {
    if (!link_.empty()) return archive7z::kFail;
    const std::wstring& path = Join(entry.name);
    if (!Inside(path)) return archive7z::kUnsafeName;
    DWORD old = GetFileAttributesW(path.c_str());
    if (old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_REPARSE_POINT)) {
      RefuseLink(path);
      return archive7z::kFail;
    }
    if (old != INVALID_FILE_ATTRIBUTES && (old & kBlockingAttributes))
      SetFileAttributesW(path.c_str(), old & ~kBlockingAttributes);
    UniqueFileHandle file(CreateTarget(path));
    if (!file) {
      int decision = Decide(path, GetLastError());
      if (decision == kSkip) return archive7z::kOk;
      if (decision != kRetry) return archive7z::kFail;
      file.reset(CreateTarget(path));
      if (!file) return archive7z::kFail;
    }
    out.reset(new DiskFile(file.release(), path, entry, onFile_));
    return archive7z::kOk;
  }

  void RejectName(const std::u16string& name) override {
    std::wstring text(name.begin(), name.end());
    qd::Output(L"Fun:%ls, Description:entry \"%ls\" would leave %ls!\r\n", kPrimitive,
               text.c_str(), destination_.c_str());
  }

  // The first link met; the extraction stops there.
  void RefuseLink(const std::wstring& path) {
    link_ = path;
    ReportLink(kPrimitive, path);
  }

 private:
  static constexpr int kRetry = 0, kSkip = 1, kAbort = 2;

  // The error callback's decision on a file that cannot be created; without a
  // callback, or when the call failed outside the handler, the extraction aborts.
  int Decide(const std::wstring& path, DWORD error) {
    if (!onError_) return kAbort;
    lua_Integer decision = kAbort;
    if (!onError_.Call(path, error, &decision)) return kAbort;
    return static_cast<int>(decision == kRetry || decision == kSkip ? decision : kAbort);
  }

  // destination + '\' + name with '/' as '\'; one buffer reused from entry to entry.
  const std::wstring& Join(const std::u16string& name) {
    path_.assign(destination_);
    path_ += L'\\';
    for (char16_t c : name) path_ += (c == u'/') ? L'\\' : static_cast<wchar_t>(c);
    return path_;
  }

  bool ParentIsReal(const std::u16string& name) const {
    const size_t cut = name.find_last_of(u'/');
    return cut == std::u16string::npos || realFolders_.count(name.substr(0, cut)) > 0;
  }

  // Second line of defence behind the name check: what the system makes of the path
  // must still lie under the destination.
  bool Inside(const std::wstring& path) const {
    std::wstring full = FullPathOf(path);
    return full.size() > root_.size() && _wcsnicmp(full.c_str(), root_.c_str(), root_.size()) == 0;
  }

  const std::wstring destination_;
  const std::wstring root_;
  ScriptCallback& onFile_;
  ScriptCallback& onError_;
  std::wstring path_;
  std::unordered_set<std::u16string> realFolders_;  // created or found to be real folders
  std::wstring link_;                                // the link that stopped the extraction
};

// As many blocks at once as there are processors, at most four (more rarely pays: the
// writing thread and the disk become the limit), within a quarter of the free memory.
archive7z::ExtractOptions ExtractionOptions() {
  constexpr unsigned kMostBlocks = 4;
  archive7z::ExtractOptions options;
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  options.threads = system.dwNumberOfProcessors < kMostBlocks ? system.dwNumberOfProcessors : kMostBlocks;
  if (options.threads == 0) options.threads = 1;
  MEMORYSTATUSEX memory;
  memory.dwLength = sizeof memory;
  if (GlobalMemoryStatusEx(&memory) && memory.ullAvailPhys / 4 < options.memoryBudget)
    options.memoryBudget = memory.ullAvailPhys / 4;
  return options;
}

}  // namespace

int ExtractToDirectory(ISeekInStreamPtr source, const std::wstring& destination,
                       ScriptCallback& onFile, ScriptCallback& onError) {
  if (IsReparsePoint(destination)) {
    ReportLink(kPrimitive, destination);
    return archive7z::kFail;
  }
  DiskWriter writer(destination, onFile, onError);
  return archive7z::Extract(source, writer, ExtractionOptions());
}
