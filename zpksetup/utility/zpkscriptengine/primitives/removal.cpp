// ZPKScriptEngine's recursive removal, used by Lua_DelFileRecursive(Ex).
#include <windows.h>
#include <shlwapi.h>

#include <cwchar>

#include "handles.h"
#include "log/debugoutput.h"
#include "protectedfolders.h"
#include "scriptengine.h"

namespace {

std::wstring FullPathOf(const std::wstring& path) {
  DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::wstring full(needed, L'\0');
  DWORD len = GetFullPathNameW(path.c_str(), needed, &full[0], nullptr);
  full.resize(len < needed ? len : 0);
  return full;
}

std::wstring WithoutTrailingSeparators(std::wstring path) {
  while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  return path;
}

// A directory that is the current directory cannot be removed: step to its parent.
void LeaveIfCurrent(const std::wstring& dir) {
  wchar_t current[MAX_PATH + 1] = {};
  if (GetCurrentDirectoryW(MAX_PATH, current) == 0) return;
  std::wstring here = WithoutTrailingSeparators(current);
  if (_wcsicmp(here.c_str(), WithoutTrailingSeparators(FullPathOf(dir)).c_str()) != 0) return;
  PathRemoveFileSpecW(current);
  SetCurrentDirectoryW(current);
}

void RemoveMatches(const std::wstring& path, const wchar_t* operation,
                   const ZPKScriptEngine::DeleteFailure* onFailure) {
  qd::Output(L"%ls %ls", operation, path.c_str());
  if (path.empty()) return;
  const bool isDir = PathIsDirectoryW(path.c_str()) != FALSE;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (isDir && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    // A directory link given itself: remove the link, never what it points at.
    LeaveIfCurrent(path);
    RemoveDirectoryW(path.c_str());
    return;
  }
  std::wstring pattern = path;
  if (isDir) {
    if (pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
    pattern += L"*.*";
  }
  WIN32_FIND_DATAW match;
  UniqueFindHandle find(FindFirstFileW(pattern.c_str(), &match));
  if (!find) return;
  std::wstring base = FullPathOf(pattern);
  base.resize(base.find_last_of(L"\\/") == std::wstring::npos ? 0 : base.find_last_of(L"\\/"));
  do {
    const std::wstring name = match.cFileName;
    const std::wstring full = base + L"\\" + name;
    if (match.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (name == L"." || name == L"..") continue;
      // A junction or directory link goes, never what it points at.
      if (match.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        RemoveDirectoryW(full.c_str());
        continue;
      }
      RemoveMatches(full, operation, onFailure);
      continue;
    }
    if (match.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
      SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileW(full.c_str())) {
      DWORD error = GetLastError();
      if (onFailure && *onFailure) (*onFailure)(full, error);
    }
  } while (FindNextFileW(find.get(), &match));
  find.reset();
  if (!isDir) return;
  LeaveIfCurrent(path);
  RemoveDirectoryW(path.c_str());
}

// The folder whose contents a removal would take: the path itself, or for a file name
// or pattern the folder it lies in. No folder below an allowed one can be refused, so
// only the top of the removal is judged.
bool Refused(const std::wstring& path, const wchar_t* operation) {
  std::wstring folder = path;
  if (!PathIsDirectoryW(path.c_str())) {
    if (path.find_first_of(L"*?") == std::wstring::npos) return false;  // one file
    const size_t cut = path.find_last_of(L"\\/");
    folder = cut == std::wstring::npos ? L"." : path.substr(0, cut == 2 ? 3 : cut);
  }
  return RefuseProtectedFolder(folder, operation, L"nothing deleted");
}

bool Remove(const std::wstring& path, const wchar_t* operation, const ZPKScriptEngine::DeleteFailure* onFailure) {
  if (Refused(path, operation)) return false;
  RemoveMatches(path, operation, onFailure);
  return true;
}

}  // namespace

bool ZPKScriptEngine::DeleteDirectories(const std::wstring& path) {
  return Remove(path, L"ZPKScriptEngine::DeleteDirectories", nullptr);
}

bool ZPKScriptEngine::DeleteDirectoriesEx(const std::wstring& path, const DeleteFailure& onFailure) {
  return Remove(path, L"ZPKScriptEngine::DeleteDirectoriesEx", &onFailure);
}
