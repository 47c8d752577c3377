// A COM server DLL stand-in for the registration tests: its registration exports append
// "register", "unregister" or "install <0|1> <command line>" to the file named by the
// environment variable ZPK_REGPROBE_LOG. With ZPK_REGPROBE_FAIL set they fail (E_FAIL).
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

HRESULT Record(const char* text) {
  char path[MAX_PATH];
  if (GetEnvironmentVariableA("ZPK_REGPROBE_LOG", path, MAX_PATH)) {
    HANDLE log = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_ALWAYS, 0, nullptr);
    if (log != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      WriteFile(log, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
      WriteFile(log, "\n", 1, &written, nullptr);
      CloseHandle(log);
    }
  }
  return GetEnvironmentVariableA("ZPK_REGPROBE_FAIL", nullptr, 0) ? E_FAIL : S_OK;
}

}  // namespace

extern "C" {

HRESULT STDAPICALLTYPE DllRegisterServer() { return Record("register"); }

HRESULT STDAPICALLTYPE DllUnregisterServer() { return Record("unregister"); }

HRESULT STDAPICALLTYPE DllInstall(BOOL install, LPCWSTR commandLine) {
  char line[600];
  snprintf(line, sizeof line, "install %d %ls", install ? 1 : 0, commandLine ? commandLine : L"");
  return Record(line);
}

}  // extern "C"
