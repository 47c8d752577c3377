// Helpers of the process, service and system primitive tests: running script code in
// the engine, starting the helper programs, waiting for their windows.
#pragma once
#include <windows.h>

#include <lua/lua.hpp>

#include <string>

#include "scriptengine.h"
#include "scripterror.h"
#include "testutil.h"
#include "textconv.h"

namespace sysprims {

inline std::wstring& LastScriptError() {
  static std::wstring text;
  return text;
}

// Runs code in the installer's script state; false (with the error kept) on a script
// error, which none of these primitives may raise.
inline bool RunLua(const std::string& code) {
  LastScriptError().clear();
  SetScriptErrorPresenter([](const std::wstring& text) { LastScriptError() = text; });
  bool ok = ZPKScriptEngine::Instance()->DoBuffer(code.data(), code.size(), "=test");
  SetScriptErrorPresenter(nullptr);
  return ok && LastScriptError().empty();
}

inline ZPKScriptEngine* Engine() { return ZPKScriptEngine::Instance(); }

// The value of one script expression, through a global; false or "<script error>" when
// the code raises.
inline bool Bool(const std::string& expression) {
  if (!RunLua("result_b = " + expression)) return false;
  return Engine()->GetGlobalBoolean("result_b");
}
inline std::wstring String(const std::string& expression) {
  if (!RunLua("result_s = " + expression)) return L"<script error>";
  return Engine()->GetGlobalString("result_s");
}

// The helper programs lie in <build>/tests/bin, the tests in <build>/tests/unit.
inline std::wstring HelperPath(const std::wstring& file) {
  return ModuleDir() + L"\\..\\bin\\" + file;
}

// A started program, ended (terminated) when the test is done with it.
class Child {
 public:
  Child() = default;
  explicit Child(std::wstring commandLine) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &si, &info_)) {
      CloseHandle(info_.hThread);
      info_.hThread = nullptr;
    }
  }
  ~Child() {
    if (!info_.hProcess) return;
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info_.hProcess, 99);
    WaitForSingleObject(info_.hProcess, 10000);
    CloseHandle(info_.hProcess);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool started() const { return info_.hProcess != nullptr; }
  DWORD pid() const { return info_.dwProcessId; }
  HANDLE handle() const { return info_.hProcess; }
  bool Exited(DWORD waitMs = 0) const { return WaitForSingleObject(info_.hProcess, waitMs) == WAIT_OBJECT_0; }
  DWORD ExitCode() const {
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
  }

 private:
  PROCESS_INFORMATION info_{};
};

inline std::wstring Quote(const std::wstring& s) { return L"\"" + s + L"\""; }

// Waits until a top-level window of that class exists (a started helper is ready).
inline HWND WaitForWindow(const std::wstring& windowClass, DWORD timeoutMs = 30000) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
    if (HWND w = FindWindowW(windowClass.c_str(), nullptr)) return w;
    Sleep(50);
  }
  return nullptr;
}

// A name no other test or run uses.
inline std::wstring UniqueName(const wchar_t* base) {
  static int counter = 0;
  return std::wstring(base) + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++counter);
}

}  // namespace sysprims
