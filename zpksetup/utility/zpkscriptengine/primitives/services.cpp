#include "primitives/services.h"

#include <algorithm>
#include <atomic>
#include <string>

#include "handles.h"
#include "log/debugoutput.h"
#include "scriptargs.h"

namespace services {
namespace {

std::atomic<DWORD> g_pollLimitMs{kDefaultPollLimitMs};

// Pauses between two status queries follow the service's wait hint, but never spin
// (a hint of 0) and never sleep for long stretches (hints of many seconds).
constexpr DWORD kMinPauseMs = 50;
constexpr DWORD kMaxPauseMs = 1000;

struct ServiceHandleTraits {
  using Handle = SC_HANDLE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { CloseServiceHandle(h); }
};
using UniqueServiceHandle = UniqueHandle<ServiceHandleTraits>;

bool UnknownError() {
  const DWORD error = GetLastError();  // the trace reports the failure, not the line's own calls
  qd::Output(L"Unknow Error in fun:%ls\r\n", L"Lua_SCM");
  SetLastError(error);
  QD_ERROR_TRACE(L"");
  return false;
}

// Polls until the service is in state target; false (with the unknown-error report)
// when a query fails or the limit passes first.
bool WaitForState(SC_HANDLE service, DWORD target) {
  SERVICE_STATUS status{};
  if (!QueryServiceStatus(service, &status)) return UnknownError();
  const ULONGLONG deadline = GetTickCount64() + g_pollLimitMs.load();
  for (;;) {
    Sleep(std::min(std::max(status.dwWaitHint, kMinPauseMs), kMaxPauseMs));
    if (status.dwCurrentState == target) return true;
    if (GetTickCount64() >= deadline) {
      SetLastError(ERROR_SERVICE_REQUEST_TIMEOUT);
      return UnknownError();
    }
    if (!QueryServiceStatus(service, &status)) return UnknownError();
  }
}

bool Start(SC_HANDLE service, const SERVICE_STATUS& status) {
  if (status.dwCurrentState == SERVICE_STOPPED && !StartServiceW(service, 0, nullptr)) {
    QD_ERROR_TRACE(L"StartService failed!");
    return false;
  }
  return WaitForState(service, SERVICE_RUNNING);
}

bool Stop(SC_HANDLE service, const SERVICE_STATUS& status) {
  SERVICE_STATUS ignored{};
  if (status.dwCurrentState == SERVICE_RUNNING &&
      !ControlService(service, SERVICE_CONTROL_STOP, &ignored)) {
    QD_ERROR_TRACE(L"StopService failed!");
    return false;
  }
  return WaitForState(service, SERVICE_STOPPED);
}

bool Control(const std::wstring& name, const std::wstring& operation) {
  UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, GENERIC_EXECUTE));
  if (!manager) {
    QD_ERROR_TRACE(L"OpenSCManager failed!");
    return false;
  }
  UniqueServiceHandle service(OpenServiceW(manager.get(), name.c_str(),
                                           SERVICE_QUERY_STATUS | SERVICE_START | SERVICE_STOP));
  if (!service) {
    if (GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) return true;
    QD_ERROR_TRACE(L"OpenService failed!");
    return false;
  }
  SERVICE_STATUS status{};
  if (!QueryServiceStatus(service.get(), &status)) {
    QD_ERROR_TRACE(L"QueryServiceStatus failed!");
    return false;
  }
  if (lstrcmpiW(operation.c_str(), L"start") == 0) return Start(service.get(), status);
  if (lstrcmpiW(operation.c_str(), L"stop") == 0) return Stop(service.get(), status);
  SetLastError(ERROR_INVALID_PARAMETER);
  return UnknownError();
}

}  // namespace

DWORD SetPollLimit(DWORD ms) { return g_pollLimitMs.exchange(ms); }

}  // namespace services

int Lua_SCM(lua_State* L) {
  const std::wstring name = scriptargs::Text(L, 1);
  const std::wstring operation = scriptargs::Text(L, 2);
  return scriptargs::PushBoolean(L, services::Control(name, operation));
}
