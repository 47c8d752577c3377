// Helpers of the extraction and file-primitive tests: running script code in the host,
// a helper process that holds a file open, and tree snapshots.
#pragma once
#include <windows.h>

#include <map>
#include <string>

#include "scriptengine.h"
#include "scripterror.h"
#include "testutil.h"
#include "textconv.h"

inline ZPKScriptEngine* Engine() { return ZPKScriptEngine::Instance(); }

// Script errors are recorded instead of ending the test program.
inline std::wstring& LastScriptError() {
  static std::wstring text;
  return text;
}
inline void RecordScriptError(const std::wstring& text) { LastScriptError() = text; }

inline bool RunLua(const std::string& code) {
  LastScriptError().clear();
  SetScriptErrorPresenter(&RecordScriptError);
  bool ok = Engine()->DoBuffer(code.data(), code.size(), "=test");
  SetScriptErrorPresenter(nullptr);
  return ok && LastScriptError().empty();
}

inline void SetText(const char* global, const std::wstring& value) {
  Engine()->SetGlobalString(global, value);
}

// holdfile.exe keeps a file open until it is ended (at the latest when this goes).
class FileHolder {
 public:
  // share: L"none" or L"delete"
  FileHolder(const std::wstring& path, const wchar_t* share) {
    marker_ = path + L".held-marker";
    DeleteFileW(marker_.c_str());
    std::wstring cmd = L"\"" + ModuleDir() + L"\\..\\bin\\holdfile.exe\" \"" + path + L"\" " + share +
                       L" \"" + marker_ + L"\" 120";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_))
      return;
    CloseHandle(pi_.hThread);
    for (int i = 0; i < 400 && !FileExists(marker_); ++i) Sleep(50);
    holding_ = FileExists(marker_);
  }
  ~FileHolder() {
    Release();
    DeleteFileW(marker_.c_str());
  }
  bool holding() const { return holding_; }
  void Release() {
    if (!pi_.hProcess) return;
    TerminateProcess(pi_.hProcess, 0);
    WaitForSingleObject(pi_.hProcess, 10000);
    CloseHandle(pi_.hProcess);
    pi_.hProcess = nullptr;
    holding_ = false;
  }

 private:
  PROCESS_INFORMATION pi_ = {};
  std::wstring marker_;
  bool holding_ = false;
};

// What a tree holds, keyed by relative path: directories, and files with their bytes,
// read-only flag and last-write time.
struct TreeNode {
  bool dir = false;
  std::string bytes;
  bool readOnly = false;
  unsigned long long modified = 0;
  bool operator==(const TreeNode& o) const {
    return dir == o.dir && bytes == o.bytes && readOnly == o.readOnly && modified == o.modified;
  }
};
using Tree = std::map<std::wstring, TreeNode>;

inline void Snapshot(const std::wstring& root, const std::wstring& rel, Tree& out) {
  WIN32_FIND_DATAW e;
  std::wstring dir = rel.empty() ? root : root + L"\\" + rel;
  HANDLE f = FindFirstFileW((dir + L"\\*").c_str(), &e);
  if (f == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring n = e.cFileName;
    if (n == L"." || n == L"..") continue;
    std::wstring r = rel.empty() ? n : rel + L"\\" + n;
    TreeNode node;
    node.dir = (e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!node.dir) {
      node.bytes = ReadFileBytes(root + L"\\" + r);
      node.readOnly = (e.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
      node.modified = (static_cast<unsigned long long>(e.ftLastWriteTime.dwHighDateTime) << 32) |
                      e.ftLastWriteTime.dwLowDateTime;
    }
    out[r] = node;
    if (node.dir) Snapshot(root, r, out);
  } while (FindNextFileW(f, &e));
  FindClose(f);
}

inline Tree Snapshot(const std::wstring& root) {
  Tree t;
  Snapshot(root, L"", t);
  return t;
}

inline std::string Utf8(const std::wstring& w) { return Utf16ToUtf8(w); }
