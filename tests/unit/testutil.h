// Shared helpers of the unit tests.
#pragma once
#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "log/debugoutput.h"

// A fresh directory under %TEMP%, removed with everything in it at the end.
class TempDir {
 public:
  TempDir() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    wchar_t name[MAX_PATH];
    GetTempFileNameW(base, L"zpk", 0, name);
    DeleteFileW(name);
    CreateDirectoryW(name, nullptr);
    path_ = name;
  }
  ~TempDir() { RemoveTree(path_); }
  const std::wstring& path() const { return path_; }
  std::wstring operator/(const std::wstring& rel) const { return path_ + L"\\" + rel; }

  static void RemoveTree(const std::wstring& dir) {
    WIN32_FIND_DATAW e;
    HANDLE f = FindFirstFileW((dir + L"\\*").c_str(), &e);
    if (f != INVALID_HANDLE_VALUE) {
      do {
        std::wstring n = e.cFileName;
        if (n == L"." || n == L"..") continue;
        std::wstring p = dir + L"\\" + n;
        if (e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          RemoveTree(p);
        } else {
          SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
          DeleteFileW(p.c_str());
        }
      } while (FindNextFileW(f, &e));
      FindClose(f);
    }
    RemoveDirectoryW(dir.c_str());
  }

 private:
  std::wstring path_;
};

// Collects the debug-output lines written while it lives.
class DebugCapture {
 public:
  DebugCapture() {
    Current() = this;
    qd::SetHook(&Hook);
  }
  ~DebugCapture() {
    qd::SetHook(nullptr);
    Current() = nullptr;
  }
  std::vector<std::wstring> lines() {
    std::lock_guard<std::mutex> g(mu_);
    return lines_;
  }
  bool Contains(const std::wstring& line) {
    for (const auto& l : lines())
      if (l == line) return true;
    return false;
  }

 private:
  static DebugCapture*& Current() {
    static DebugCapture* c = nullptr;
    return c;
  }
  static void Hook(const wchar_t* line) {
    if (DebugCapture* c = Current()) {
      std::lock_guard<std::mutex> g(c->mu_);
      c->lines_.push_back(line);
    }
  }
  std::mutex mu_;
  std::vector<std::wstring> lines_;
};

inline bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD n = 0;
  BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
  CloseHandle(h);
  return ok && n == bytes.size();
}

inline std::string ReadFileBytes(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return {};
  std::string out;
  char buf[4096];
  DWORD n = 0;
  while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0) out.append(buf, n);
  CloseHandle(h);
  return out;
}

inline bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Folder of the running test program.
inline std::wstring ModuleDir() {
  wchar_t p[MAX_PATH];
  GetModuleFileNameW(nullptr, p, MAX_PATH);
  std::wstring s = p;
  return s.substr(0, s.find_last_of(L"\\/"));
}
