// System queries, privileges and session end, as scripts use them.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <sstream>
#include <vector>

#include "primitives/system.h"
#include "sysprims_util.h"
#include "zpkprocesstoolhelp.h"

using namespace sysprims;

namespace {

// Whether the privilege is enabled in this process's token right now.
bool PrivilegeEnabled(const wchar_t* name) {
  LUID luid;
  if (!LookupPrivilegeValueW(nullptr, name, &luid)) return false;
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  DWORD size = 0;
  GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
  std::vector<BYTE> buf(size);
  bool enabled = false;
  if (GetTokenInformation(token, TokenPrivileges, buf.data(), size, &size)) {
    auto* privileges = reinterpret_cast<TOKEN_PRIVILEGES*>(buf.data());
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
      const LUID_AND_ATTRIBUTES& p = privileges->Privileges[i];
      if (p.Luid.LowPart == luid.LowPart && p.Luid.HighPart == luid.HighPart)
        enabled = (p.Attributes & SE_PRIVILEGE_ENABLED) != 0;
    }
  }
  CloseHandle(token);
  return enabled;
}

// Runs a program to its end and returns what it wrote to standard output.
std::string RunForOutput(std::wstring commandLine) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  if (!CreatePipe(&read, &write, &sa, 0)) return {};
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = write;
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi{};
  BOOL started = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                                nullptr, &si, &pi);
  CloseHandle(write);
  std::string out;
  if (started) {
    char buf[4096];
    DWORD n = 0;
    while (ReadFile(read, buf, sizeof buf, &n, nullptr) && n > 0) out.append(buf, n);
    out.erase(std::remove(out.begin(), out.end(), '\r'), out.end());  // text-mode line ends
    WaitForSingleObject(pi.hProcess, 60000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  CloseHandle(read);
  return out;
}

}  // namespace

TEST(SystemPrims, OsVersionIsTheMajorVersionWithoutAManifest) {
  // The test prefix is Windows 10; a program that declares no supported systems is told
  // 6.2, so the scripts see 6 on every system from Vista on.
  ASSERT_TRUE(RunLua("v = Lua_GetOSVersion()"));
  EXPECT_EQ(Engine()->GetGlobalInteger("v"), 6);
}

TEST(SystemPrims, IsWow64MatchesTheBuild) {
#ifdef _WIN64
  EXPECT_FALSE(Bool("Lua_IsWow64()"));
#else
  EXPECT_TRUE(Bool("Lua_IsWow64()")) << "a 32-bit program on 64-bit Wine";
#endif
  EXPECT_TRUE(Bool("type(Lua_IsWow64(1, 2)) == 'boolean'"));
}

TEST(SystemPrims, ModuleFileName) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  EXPECT_EQ(String("Lua_GetModuleFileName()"), self);
  EXPECT_EQ(String("Lua_GetModuleFileName('zpk-not-loaded.dll')"), self);
  EXPECT_EQ(String("Lua_GetModuleFileName(nil)"), self);
  wchar_t kernel[MAX_PATH];
  GetModuleFileNameW(GetModuleHandleW(L"kernel32.dll"), kernel, MAX_PATH);
  EXPECT_EQ(String("Lua_GetModuleFileName('KERNEL32.DLL')"), kernel);
  EXPECT_EQ(String("Lua_GetModuleFileName('kernel32')"), kernel);
}

TEST(SystemPrims, CommandLineArgvKeepsAQuotedPathWithSpacesWhole) {
  TempDir dir;
  const std::wstring script = dir / L"argv.lua";
  ASSERT_TRUE(WriteFileBytes(script,
                             "local t = Lua_GetCommandLineArgv()\n"
                             "for i = 1, #t do io.write(i, '=', t[i], '\\n') end\n"));
  wchar_t zpklua[MAX_PATH];
  GetFullPathNameW((ModuleDir() + L"\\..\\..\\zpklua.exe").c_str(), MAX_PATH, zpklua, nullptr);
  const std::wstring spaced = L"C:\\Program Files\\Ruvan Zip\\安装 程序.exe";
  const std::string out = RunForOutput(Quote(zpklua) + L" " + Quote(script) + L" " +
                                       Quote(spaced) + L" /S  plain");
  std::ostringstream expected;
  expected << "1=" << Utf16ToUtf8(zpklua) << "\n"
           << "2=" << Utf16ToUtf8(script) << "\n"
           << "3=" << Utf16ToUtf8(spaced) << "\n"
           << "4=/S\n"
           << "5=plain\n";
  EXPECT_EQ(out, expected.str());
}

TEST(SystemPrims, CommandLineArgvOfThisProcess) {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  ASSERT_TRUE(argv && count >= 1);
  ASSERT_TRUE(RunLua("argv = Lua_GetCommandLineArgv(); argv_n = #argv; argv_1 = argv[1]; "
                     "argv_0 = argv[0]"));
  EXPECT_EQ(Engine()->GetGlobalInteger("argv_n"), count);
  EXPECT_EQ(Engine()->GetGlobalString("argv_1"), argv[0]);
  EXPECT_TRUE(Bool("argv_0 == nil"));
  LocalFree(argv);
}

TEST(SystemPrims, EnablePrivilegeTakesTheLastTwoArguments) {
  EXPECT_TRUE(Bool("Lua_EnablePrivilege('SeDebugPrivilege', false)"));
  EXPECT_FALSE(PrivilegeEnabled(SE_DEBUG_NAME));
  EXPECT_TRUE(Bool("Lua_EnablePrivilege('SeDebugPrivilege', true)"));
  EXPECT_TRUE(PrivilegeEnabled(SE_DEBUG_NAME));
  EXPECT_TRUE(Bool("Lua_EnablePrivilege('ignored', 'SeDebugPrivilege', nil)"));
  EXPECT_FALSE(PrivilegeEnabled(SE_DEBUG_NAME));
  EXPECT_TRUE(Bool("Lua_EnablePrivilege('SeDebugPrivilege', 1)"));  // only nil and false are false
  EXPECT_TRUE(PrivilegeEnabled(SE_DEBUG_NAME));
}

TEST(SystemPrims, EnablePrivilegeFailures) {
  {
    DebugCapture capture;
    EXPECT_FALSE(Bool("Lua_EnablePrivilege('SeNoSuchPrivilege', true)"));
    ASSERT_EQ(capture.lines().size(), 3u);
    EXPECT_EQ(capture.lines()[0].rfind(L"qd LookupPrivilegeValue failed!qd file:", 0), 0u);
  }
  // One argument is the flag; there is no name.
  EXPECT_FALSE(Bool("Lua_EnablePrivilege('SeDebugPrivilege')"));
  EXPECT_FALSE(Bool("Lua_EnablePrivilege()"));
  // A privilege the token does not hold is not reported as enabled.
  DebugCapture capture;
  EXPECT_FALSE(Bool("Lua_EnablePrivilege('SeCreateTokenPrivilege', true)"));
  ASSERT_EQ(capture.lines().size(), 3u);
  EXPECT_EQ(capture.lines()[0].rfind(L"qd AdjustTokenPrivileges failed!qd file:", 0), 0u);
  EXPECT_EQ(capture.lines()[2], L"qd AdjustTokenPrivileges failed!qd err:1300\r\n");
}

namespace {
struct ExitCall {
  int calls = 0;
  UINT flags = 0;
  DWORD reason = 0;
  bool shutdownEnabled = false;
  BOOL result = TRUE;
};
ExitCall g_exit;
BOOL WINAPI FakeExitWindows(UINT flags, DWORD reason) {
  ++g_exit.calls;
  g_exit.flags = flags;
  g_exit.reason = reason;
  g_exit.shutdownEnabled = PrivilegeEnabled(SE_SHUTDOWN_NAME);
  SetLastError(ERROR_ACCESS_DENIED);
  return g_exit.result;
}
}  // namespace

TEST(SystemPrims, ExitWindowsEnablesShutdownAndPassesFlagsAndReason) {
  // Never the real call: that would end the test machine's session.
  systemprims::ExitWindowsFn previous = systemprims::SetExitWindowsFunction(&FakeExitWindows);
  ASSERT_NE(previous, &FakeExitWindows);
  zpkprocesstoolhelp::EnablePrivilege(SE_SHUTDOWN_NAME, false);
  ASSERT_FALSE(PrivilegeEnabled(SE_SHUTDOWN_NAME));

  g_exit = ExitCall{};
  // EWX_REBOOT | EWX_FORCE, SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_FLAG_PLANNED.
  EXPECT_TRUE(Bool("Lua_ExitWindows(6, 0x80040000)"));
  EXPECT_EQ(g_exit.calls, 1);
  EXPECT_EQ(g_exit.flags, 6u);
  EXPECT_EQ(g_exit.reason, 0x80040000u);
  EXPECT_TRUE(g_exit.shutdownEnabled);

  g_exit = ExitCall{};
  g_exit.result = FALSE;
  EXPECT_FALSE(Bool("Lua_ExitWindows()"));
  EXPECT_EQ(g_exit.flags, 0u);  // EWX_LOGOFF
  EXPECT_EQ(g_exit.reason, 0u);

  systemprims::SetExitWindowsFunction(previous);
}

TEST(SystemPrims, DriverInstallPathOnThisMachine) {
  wchar_t def[MAX_PATH];
  ExpandEnvironmentStringsW(L"%ProgramFiles%\\", def, MAX_PATH);
  // Wine's Z: is the host's root, a fixed drive without a program-files folder.
  std::wstring other = std::wstring(L"Z:") + (def + 2);
  if (GetFileAttributesW(other.c_str()) != INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "Z: has it";
  EXPECT_EQ(String("Lua_GetDriverInstallPath()"), def);
  EXPECT_EQ(std::wstring(def).back(), L'\\');
}

TEST(SystemPrims, DriverInstallPathPrefersALaterFixedDrive) {
  using systemprims::ChooseInstallPath;
  const std::wstring def = L"C:\\Program Files\\";
  auto existsOn = [](std::wstring drives) {
    return [drives](const std::wstring& p) { return drives.find(p[0]) != std::wstring::npos; };
  };
  EXPECT_EQ(ChooseInstallPath(def, {L"C:", L"D:", L"E:"}, existsOn(L"CDE")), L"D:\\Program Files\\");
  EXPECT_EQ(ChooseInstallPath(def, {L"C:", L"D:", L"E:"}, existsOn(L"E")), L"E:\\Program Files\\");
  EXPECT_EQ(ChooseInstallPath(def, {L"C:", L"D:"}, existsOn(L"")), def);
  EXPECT_EQ(ChooseInstallPath(def, {L"C:"}, existsOn(L"C")), def);
  EXPECT_EQ(ChooseInstallPath(def, {}, existsOn(L"C")), def);
  // The first fixed drive is never a candidate of its own.
  EXPECT_EQ(ChooseInstallPath(L"D:\\Program Files\\", {L"C:", L"D:"}, existsOn(L"C")),
            L"D:\\Program Files\\");
  // An unexpanded variable has no drive to move.
  EXPECT_EQ(ChooseInstallPath(L"%ProgramFiles%\\", {L"C:", L"D:"}, existsOn(L"%D")),
            L"%ProgramFiles%\\");
}
