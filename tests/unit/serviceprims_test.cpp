// Lua_SCM against Wine's real service manager, with a service program of the tests.
#include <gtest/gtest.h>

#include "primitives/services.h"
#include "sysprims_util.h"

using namespace sysprims;

namespace {

// A service of the test program registered for the length of a test, removed after
// (its process ended first when it hangs).
class TestService {
 public:
  explicit TestService(const std::wstring& arguments, const std::wstring& binary = L"") {
    name_ = UniqueName(L"ZpkTestSvc");
    manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager_) return;
    wchar_t full[MAX_PATH];
    GetFullPathNameW((binary.empty() ? HelperPath(L"testsvc.exe") : binary).c_str(), MAX_PATH, full,
                     nullptr);
    const std::wstring command = Quote(full) + (arguments.empty() ? L"" : L" " + arguments);
    service_ = CreateServiceW(manager_, name_.c_str(), name_.c_str(), SERVICE_ALL_ACCESS,
                              SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                              SERVICE_ERROR_IGNORE, command.c_str(), nullptr, nullptr, nullptr,
                              nullptr, nullptr);
  }
  ~TestService() {
    if (service_) {
      SERVICE_STATUS_PROCESS status{};
      DWORD needed = 0;
      if (QueryServiceStatusEx(service_, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                               sizeof status, &needed) &&
          status.dwCurrentState != SERVICE_STOPPED) {
        SERVICE_STATUS ignored;
        ControlService(service_, SERVICE_CONTROL_STOP, &ignored);
        if (HANDLE p = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, status.dwProcessId)) {
          if (WaitForSingleObject(p, 3000) != WAIT_OBJECT_0) TerminateProcess(p, 1);
          WaitForSingleObject(p, 5000);
          CloseHandle(p);
        }
      }
      DeleteService(service_);
      CloseServiceHandle(service_);
    }
    if (manager_) CloseServiceHandle(manager_);
  }
  bool ok() const { return service_ != nullptr; }
  const std::wstring& name() const { return name_; }
  DWORD State() const {
    SERVICE_STATUS status{};
    return QueryServiceStatus(service_, &status) ? status.dwCurrentState : 0;
  }

 private:
  std::wstring name_;
  SC_HANDLE manager_ = nullptr;
  SC_HANDLE service_ = nullptr;
};

bool Scm(const std::wstring& name, const char* operation) {
  Engine()->SetGlobalString("svc", name);
  if (!RunLua(std::string("scm_result = Lua_SCM(svc, '") + operation + "')")) return false;
  return Engine()->GetGlobalBoolean("scm_result");
}

const wchar_t kUnknownError[] = L"qd Unknow Error in fun:Lua_SCM\r\n";

// Restores the polling limit at the end of a test.
struct PollLimit {
  explicit PollLimit(DWORD ms) : previous(services::SetPollLimit(ms)) {}
  ~PollLimit() { services::SetPollLimit(previous); }
  DWORD previous;
};

}  // namespace

TEST(ServicePrims, StartAndStopARealService) {
  TestService service(L"");
  ASSERT_TRUE(service.ok()) << GetLastError();
  ASSERT_EQ(service.State(), static_cast<DWORD>(SERVICE_STOPPED));

  EXPECT_TRUE(Scm(service.name(), "start"));
  EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_TRUE(Scm(service.name(), "START")) << "a running service: true, nothing else done";
  EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_RUNNING));

  EXPECT_TRUE(Scm(service.name(), "Stop"));
  EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_TRUE(Scm(service.name(), "stop")) << "a stopped service stays stopped";
}

TEST(ServicePrims, AMissingServiceIsSuccess) {
  DebugCapture capture;
  EXPECT_TRUE(Scm(L"ZpkNoSuchServiceAnywhere", "stop"));
  EXPECT_TRUE(Scm(L"ZpkNoSuchServiceAnywhere", "start"));
  EXPECT_TRUE(capture.lines().empty());
}

TEST(ServicePrims, AnUnknownOperationFails) {
  TestService service(L"");
  ASSERT_TRUE(service.ok());
  for (const char* operation : {"pause", "", "starting"}) {
    SCOPED_TRACE(operation);
    DebugCapture capture;
    EXPECT_FALSE(Scm(service.name(), operation));
    std::vector<std::wstring> lines = capture.lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], kUnknownError);
    EXPECT_EQ(lines[1].rfind(L"qd qd file:", 0), 0u);  // the short trace: empty message
    EXPECT_EQ(lines[3], L"qd qd err:87\r\n");
  }
  EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_STOPPED));
}

TEST(ServicePrims, AServiceThatNeverStopsGivesUpAfterTheLimit) {
  TestService service(L"stuck");
  ASSERT_TRUE(service.ok());
  ASSERT_TRUE(Scm(service.name(), "start"));
  PollLimit limit(2000);
  DebugCapture capture;
  EXPECT_FALSE(Scm(service.name(), "stop"));
  EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_STOP_PENDING));
  std::vector<std::wstring> lines = capture.lines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], kUnknownError);
  EXPECT_EQ(lines[3], L"qd qd err:1053\r\n");  // ERROR_SERVICE_REQUEST_TIMEOUT
}

TEST(ServicePrims, AServiceThatCannotStartFails) {
  TempDir dir;
  TestService service(L"", dir / L"missing-service.exe");
  ASSERT_TRUE(service.ok());
  DebugCapture capture;
  EXPECT_FALSE(Scm(service.name(), "start"));
  ASSERT_FALSE(capture.lines().empty());
  EXPECT_EQ(capture.lines()[0].rfind(L"qd StartService failed!qd file:", 0), 0u);
}
