// RzSrv, the sample product's Windows service "RzSvc". "--install" registers the service
// (automatic start) for this executable and starts it; "--uninstall" stops and removes
// it; started by the service manager it runs until it is asked to stop, keeping a small
// status file beside itself so that its work can be seen.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

const wchar_t kServiceName[] = L"RzSvc";
const wchar_t kDisplayName[] = L"RuvanZip Service";

SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
HANDLE g_stopEvent = nullptr;

std::wstring SelfPath() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

struct ScHandle {
  SC_HANDLE h;
  explicit ScHandle(SC_HANDLE handle) : h(handle) {}
  ~ScHandle() {
    if (h) CloseServiceHandle(h);
  }
  ScHandle(const ScHandle&) = delete;
  ScHandle& operator=(const ScHandle&) = delete;
};

void Report(DWORD state, DWORD exitCode = NO_ERROR) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  status.dwWin32ExitCode = exitCode;
  status.dwWaitHint = state == SERVICE_RUNNING ? 0 : 3000;
  SetServiceStatus(g_statusHandle, &status);
}

DWORD WINAPI Control(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
    Report(SERVICE_STOP_PENDING);
    SetEvent(g_stopEvent);
  }
  return NO_ERROR;
}

void WriteStatus(const wchar_t* text) {
  std::wstring path = SelfPath() + L".status";
  FILE* f = _wfopen(path.c_str(), L"w");
  if (!f) return;
  fputws(text, f);
  fclose(f);
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
  g_statusHandle = RegisterServiceCtrlHandlerExW(kServiceName, Control, nullptr);
  if (!g_statusHandle) return;
  g_stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  Report(SERVICE_RUNNING);
  WriteStatus(L"running");
  WaitForSingleObject(g_stopEvent, INFINITE);
  WriteStatus(L"stopped");
  CloseHandle(g_stopEvent);
  Report(SERVICE_STOPPED);
}

int Install() {
  ScHandle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!scm.h) return 1;
  const std::wstring command = L"\"" + SelfPath() + L"\"";
  ScHandle service(CreateServiceW(scm.h, kServiceName, kDisplayName, SERVICE_ALL_ACCESS,
                                  SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                  command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
  if (!service.h) {
    if (GetLastError() != ERROR_SERVICE_EXISTS) return 1;
    // An earlier installation left it: point it at this copy.
    service.h = OpenServiceW(scm.h, kServiceName, SERVICE_ALL_ACCESS);
    if (!service.h) return 1;
    ChangeServiceConfigW(service.h, SERVICE_NO_CHANGE, SERVICE_AUTO_START, SERVICE_NO_CHANGE,
                         command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, kDisplayName);
  }
  if (!StartServiceW(service.h, 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING)
    return 1;
  return 0;
}

int Uninstall() {
  ScHandle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!scm.h) return 1;
  ScHandle service(OpenServiceW(scm.h, kServiceName, SERVICE_ALL_ACCESS));
  if (!service.h) return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? 0 : 1;
  SERVICE_STATUS status{};
  if (ControlService(service.h, SERVICE_CONTROL_STOP, &status)) {
    // Give it up to ten seconds to stop, so that the deletion takes effect at once.
    for (int i = 0; i < 100 && status.dwCurrentState != SERVICE_STOPPED; ++i) {
      Sleep(100);
      if (!QueryServiceStatus(service.h, &status)) break;
    }
  }
  return DeleteService(service.h) ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc > 1 && wcscmp(argv[1], L"--install") == 0) return Install();
  if (argc > 1 && wcscmp(argv[1], L"--uninstall") == 0) return Uninstall();
  SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(kServiceName), ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
