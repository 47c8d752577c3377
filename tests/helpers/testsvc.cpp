// A small own-process Windows service for the service tests.
//   testsvc.exe [stuck]
// It runs until it is asked to stop. With "stuck" a stop request leaves it stop-pending
// for good, like a service that hangs while shutting down.
#include <windows.h>

#include <cstring>

namespace {

SERVICE_STATUS_HANDLE g_status = nullptr;
HANDLE g_stop = nullptr;
bool g_stuck = false;
DWORD g_checkPoint = 0;

void Report(DWORD state, DWORD waitHint) {
  SERVICE_STATUS s{};
  s.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  s.dwCurrentState = state;
  s.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  s.dwCheckPoint = (state == SERVICE_RUNNING || state == SERVICE_STOPPED) ? 0 : ++g_checkPoint;
  s.dwWaitHint = waitHint;
  SetServiceStatus(g_status, &s);
}

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_STOP) {
    Report(SERVICE_STOP_PENDING, 0);
    if (!g_stuck) SetEvent(g_stop);
    return NO_ERROR;
  }
  return control == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
}

void WINAPI ServiceMain(DWORD argc, LPWSTR* argv) {
  g_status = RegisterServiceCtrlHandlerExW(argc > 0 ? argv[0] : L"", &Handler, nullptr);
  if (!g_status) return;
  Report(SERVICE_START_PENDING, 500);
  Report(SERVICE_RUNNING, 0);
  WaitForSingleObject(g_stop, INFINITE);
  Report(SERVICE_STOPPED, 0);
}

}  // namespace

int main(int argc, char** argv) {
  g_stuck = argc > 1 && strcmp(argv[1], "stuck") == 0;
  g_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  wchar_t name[] = L"";
  SERVICE_TABLE_ENTRYW table[] = {{name, &ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
