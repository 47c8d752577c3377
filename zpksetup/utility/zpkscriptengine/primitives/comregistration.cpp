#include "primitives/comregistration.h"

#include <windows.h>
#include <ole2.h>

#include <string>

#include "handles.h"
#include "log/debugoutput.h"
#include "scriptargs.h"

namespace {

// OLE for the length of one call; the matching uninitialise only when it took.
class OleScope {
 public:
  OleScope() : ok_(SUCCEEDED(OleInitialize(nullptr))) {}
  ~OleScope() {
    if (ok_) OleUninitialize();
  }
  OleScope(const OleScope&) = delete;
  OleScope& operator=(const OleScope&) = delete;

 private:
  bool ok_;
};

// The expanded DLL path, or false with the missing-path line.
bool ExistingDll(lua_State* L, const wchar_t* primitive, std::wstring& dll) {
  const bool fits = scriptargs::Path(L, 1, dll);
  if (fits && GetFileAttributesW(dll.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  scriptargs::ReportMissing(primitive, fits ? dll : scriptargs::Text(L, 1));
  return false;
}

bool CallServerExport(const std::wstring& dll, bool reg) {
  UniqueModule module(LoadLibraryW(dll.c_str()));
  if (!module) {
    const DWORD error = GetLastError();
    qd::Output(L"Fun:%ls, Description: LoadLibrary %ls Failed!\r\n", L"Lua_RegSvr32", dll.c_str());
    SetLastError(error);
    QD_ERROR_TRACE(L"");
    return false;
  }
  using ServerExport = HRESULT(STDAPICALLTYPE*)();
  auto fn = reinterpret_cast<ServerExport>(
      GetProcAddress(module.get(), reg ? "DllRegisterServer" : "DllUnregisterServer"));
  return fn && SUCCEEDED(fn());
}

// Started through CreateProcessW rather than the ANSI WinExec, so that a DLL path with
// characters outside the ANSI code page reaches regsvr32 intact.
bool StartHidden(std::wstring command) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    return false;
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return true;
}

}  // namespace

int Lua_RegSvr32(lua_State* L) {
  OleScope ole;
  std::wstring dll;
  if (!ExistingDll(L, L"Lua_RegSvr32", dll)) return scriptargs::PushBoolean(L, false);
  return scriptargs::PushBoolean(L, CallServerExport(dll, scriptargs::Boolean(L, 2)));
}

int Lua_RegistDll(lua_State* L) {
  OleScope ole;
  std::wstring dll;
  if (!ExistingDll(L, L"Lua_RegistDll", dll)) return scriptargs::PushBoolean(L, false);
  const std::wstring command = L"regsvr32 " + scriptargs::Text(L, 2) + L" \"" + dll + L"\"";
  if (!StartHidden(command)) {
    qd::Output(L"reg failed!!! %lu", static_cast<unsigned long>(GetLastError()));
    return scriptargs::PushBoolean(L, false);
  }
  return scriptargs::PushBoolean(L, true);
}
