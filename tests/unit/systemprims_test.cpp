// System queries, privileges, session end, COM registration, message boxes and the
// install log, as scripts use them.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <sstream>
#include <thread>
#include <vector>

#include "log/qvbaselog.h"
#include "msgbox.h"
#include "primitives/system.h"
#include "sysprims_util.h"
#include "zpkprocesstoolhelp.h"

using namespace sysprims;

namespace {

bool Bool(const std::string& expression) {
  if (!RunLua("result_b = " + expression)) return false;
  return Engine()->GetGlobalBoolean("result_b");
}

std::wstring String(const std::string& expression) {
  if (!RunLua("result_s = " + expression)) return L"<script error>";
  return Engine()->GetGlobalString("result_s");
}

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

namespace {

std::wstring RegProbePath() {
  wchar_t full[MAX_PATH];
  GetFullPathNameW(HelperPath(L"regprobe.dll").c_str(), MAX_PATH, full, nullptr);
  return full;
}

// The registration log of regprobe.dll, fresh for each test.
struct RegLog {
  RegLog() : path(dir / L"reg.log") {
    SetEnvironmentVariableW(L"ZPK_REGPROBE_LOG", path.c_str());
    SetEnvironmentVariableW(L"ZPK_REGPROBE_FAIL", nullptr);
  }
  ~RegLog() {
    SetEnvironmentVariableW(L"ZPK_REGPROBE_LOG", nullptr);
    SetEnvironmentVariableW(L"ZPK_REGPROBE_FAIL", nullptr);
  }
  std::string Read() const { return ReadFileBytes(path); }
  // regsvr32 runs on its own: wait until it has written its lines.
  std::string WaitFor(const std::string& text) const {
    for (int i = 0; i < 600; ++i) {
      std::string s = Read();
      if (s.find(text) != std::string::npos) return s;
      Sleep(50);
    }
    return Read();
  }
  TempDir dir;
  std::wstring path;
};

}  // namespace

TEST(RegistrationPrims, RegSvr32CallsTheExportInProcess) {
  RegLog log;
  const std::wstring dll = RegProbePath();
  std::wstring folder = dll.substr(0, dll.find_last_of(L'\\'));
  SetEnvironmentVariableW(L"ZPK_HELPERS", folder.c_str());

  EXPECT_TRUE(Bool("Lua_RegSvr32('%ZPK_HELPERS%\\\\regprobe.dll', true)"));
  EXPECT_EQ(log.Read(), "register\n");
  EXPECT_TRUE(Bool("Lua_RegSvr32('%ZPK_HELPERS%\\\\regprobe.dll', false)"));
  EXPECT_TRUE(Bool("Lua_RegSvr32('%ZPK_HELPERS%\\\\regprobe.dll')"));  // absent flag: unregister
  EXPECT_EQ(log.Read(), "register\nunregister\nunregister\n");
  EXPECT_EQ(GetModuleHandleW(L"regprobe.dll"), nullptr) << "freed after the call";

  SetEnvironmentVariableW(L"ZPK_REGPROBE_FAIL", L"1");
  EXPECT_FALSE(Bool("Lua_RegSvr32('%ZPK_HELPERS%\\\\regprobe.dll', true)"));
  SetEnvironmentVariableW(L"ZPK_HELPERS", nullptr);
}

TEST(RegistrationPrims, RegSvr32Failures) {
  TempDir dir;
  Engine()->SetGlobalString("missing", dir / L"missing.dll");
  {
    DebugCapture capture;
    EXPECT_FALSE(Bool("Lua_RegSvr32(missing, true)"));
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(capture.lines()[0], L"qd Fun:Lua_RegSvr32, Description:" + (dir / L"missing.dll") +
                                      L" it's not exists!\r\n");
  }
  {
    ASSERT_TRUE(WriteFileBytes(dir / L"text.dll", "not a library"));
    Engine()->SetGlobalString("notdll", dir / L"text.dll");
    DebugCapture capture;
    EXPECT_FALSE(Bool("Lua_RegSvr32(notdll, true)"));
    ASSERT_EQ(capture.lines().size(), 4u);
    EXPECT_EQ(capture.lines()[0], L"qd Fun:Lua_RegSvr32, Description: LoadLibrary " +
                                      (dir / L"text.dll") + L" Failed!\r\n");
    EXPECT_EQ(capture.lines()[1].rfind(L"qd qd file:", 0), 0u);
  }
  // A library without the export.
  EXPECT_FALSE(Bool("Lua_RegSvr32('%SystemRoot%\\\\system32\\\\version.dll', true)"));
  EXPECT_FALSE(Bool("Lua_RegSvr32('%SystemRoot%\\\\system32\\\\version.dll', false)"));
}

TEST(RegistrationPrims, RegistDllStartsRegsvr32WithTheSwitches) {
  RegLog log;
  Engine()->SetGlobalString("dll", RegProbePath());
  EXPECT_TRUE(Bool("Lua_RegistDll(dll, '/s', 'ignored')"));
  EXPECT_EQ(log.WaitFor("register\n"), "register\n");
  EXPECT_TRUE(Bool("Lua_RegistDll(dll, '/u /s')"));
  EXPECT_NE(log.WaitFor("unregister\n").find("unregister\n"), std::string::npos);
}

TEST(RegistrationPrims, RegistDllIsTrueOnceStartedEvenWhenRegistrationFails) {
  RegLog log;
  SetEnvironmentVariableW(L"ZPK_REGPROBE_FAIL", L"1");
  Engine()->SetGlobalString("dll", RegProbePath());
  EXPECT_TRUE(Bool("Lua_RegistDll(dll, '/s')"));
  EXPECT_EQ(log.WaitFor("register\n"), "register\n");
}

TEST(RegistrationPrims, RegistDllPathOutsideTheAnsiCodePage) {
  RegLog log;
  TempDir dir;
  const std::wstring copy = dir / L"注册 探针.dll";
  ASSERT_TRUE(CopyFileW(RegProbePath().c_str(), copy.c_str(), FALSE));
  Engine()->SetGlobalString("dll", copy);
  EXPECT_TRUE(Bool("Lua_RegistDll(dll, '/s')"));
  EXPECT_EQ(log.WaitFor("register\n"), "register\n");
  Sleep(500);  // let regsvr32 let go of the copy before the folder is removed
}

TEST(RegistrationPrims, RegistDllMissingFile) {
  TempDir dir;
  Engine()->SetGlobalString("missing", dir / L"missing.dll");
  DebugCapture capture;
  EXPECT_FALSE(Bool("Lua_RegistDll(missing, '/s')"));
  ASSERT_EQ(capture.lines().size(), 1u);
  EXPECT_EQ(capture.lines()[0], L"qd Fun:Lua_RegistDll, Description:" + (dir / L"missing.dll") +
                                    L" it's not exists!\r\n");
}

namespace {
struct Box {
  std::wstring text, caption;
  UINT style = 0;
  bool owner = false;
};
std::vector<Box> g_boxes;
int g_answer = IDOK;
int RecordBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT style) {
  g_boxes.push_back(Box{text ? text : L"<null>", caption ? caption : L"<null>", style, owner != nullptr});
  return g_answer;
}
struct BoxHook {
  BoxHook() {
    g_boxes.clear();
    g_answer = IDOK;
    SetMessageBoxHook(&RecordBox);
  }
  ~BoxHook() { SetMessageBoxHook(nullptr); }
};
}  // namespace

TEST(MessagePrims, MsgBoxArguments) {
  BoxHook hook;
  ASSERT_TRUE(RunLua("r1 = Lua_MsgBox('只有文字')"));
  g_answer = IDCANCEL;
  ASSERT_TRUE(RunLua("r2 = Lua_MsgBox('安装程序正在运行', '提示', 0x10031)"));
  g_answer = IDOK;
  ASSERT_TRUE(RunLua("r3 = Lua_MsgBox('text', 'caption')"));
  ASSERT_TRUE(RunLua("r4 = Lua_MsgBox()"));
  ASSERT_TRUE(RunLua("r5 = Lua_MsgBox('a', 'b', 0x30, 'extra')"));  // more than three: empty
  ASSERT_TRUE(RunLua("r6 = Lua_MsgBox(5, {}, '48')"));
  ASSERT_EQ(g_boxes.size(), 6u);

  EXPECT_EQ(Engine()->GetGlobalInteger("r1"), IDOK);
  EXPECT_EQ(g_boxes[0].text, L"只有文字");
  EXPECT_EQ(g_boxes[0].caption, L"");
  EXPECT_EQ(g_boxes[0].style, 0u);
  EXPECT_FALSE(g_boxes[0].owner);

  EXPECT_EQ(Engine()->GetGlobalInteger("r2"), IDCANCEL);
  EXPECT_EQ(g_boxes[1].text, L"安装程序正在运行");
  EXPECT_EQ(g_boxes[1].caption, L"提示");
  EXPECT_EQ(g_boxes[1].style, static_cast<UINT>(MB_OKCANCEL | MB_ICONWARNING | MB_SETFOREGROUND));

  EXPECT_EQ(g_boxes[2].caption, L"caption");
  EXPECT_EQ(g_boxes[2].style, 0u);
  for (int i : {3, 4}) {
    EXPECT_EQ(g_boxes[i].text, L"");
    EXPECT_EQ(g_boxes[i].caption, L"");
    EXPECT_EQ(g_boxes[i].style, 0u);
  }
  EXPECT_EQ(g_boxes[5].text, L"5");
  EXPECT_EQ(g_boxes[5].caption, L"");
  EXPECT_EQ(g_boxes[5].style, 48u);
}

namespace {
struct SeenBox {
  std::wstring caption, text;
  bool ok = false, cancel = false;
};

BOOL CALLBACK FindOwnDialog(HWND w, LPARAM out) {
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  wchar_t cls[32];
  if (pid == GetCurrentProcessId() && GetClassNameW(w, cls, 32) && !wcscmp(cls, L"#32770") &&
      IsWindowVisible(w)) {
    *reinterpret_cast<HWND*>(out) = w;
    return FALSE;
  }
  return TRUE;
}

// Finds the message box of this process, reads it and presses OK.
void PressOk(SeenBox* seen, std::atomic<bool>* done) {
  for (int i = 0; i < 600 && !*done; ++i, Sleep(50)) {
    HWND box = nullptr;
    EnumWindows(&FindOwnDialog, reinterpret_cast<LPARAM>(&box));
    if (!box) continue;
    wchar_t buf[256] = {};
    GetWindowTextW(box, buf, 256);
    seen->caption = buf;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      wchar_t cls[32] = {}, text[256] = {};
      GetClassNameW(child, cls, 32);
      GetWindowTextW(child, text, 256);
      if (!_wcsicmp(cls, L"Static") && text[0]) seen->text = text;
    }
    HWND ok = GetDlgItem(box, IDOK), cancel = GetDlgItem(box, IDCANCEL);
    seen->ok = ok && IsWindowVisible(ok);
    seen->cancel = cancel && IsWindowVisible(cancel);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return;
  }
}
}  // namespace

TEST(MessagePrims, RealBoxWithOneArgumentHasOnlyOk) {
  SeenBox seen;
  std::atomic<bool> done{false};
  std::thread presser(PressOk, &seen, &done);
  const bool ran = RunLua("real = Lua_MsgBox('ZPK one-argument box')");
  done = true;
  presser.join();
  ASSERT_TRUE(ran);
  EXPECT_EQ(Engine()->GetGlobalInteger("real"), IDOK);
  EXPECT_EQ(seen.text, L"ZPK one-argument box");
  EXPECT_EQ(seen.caption, L"");
  EXPECT_TRUE(seen.ok);
  EXPECT_FALSE(seen.cancel);
}

TEST(MessagePrims, LogoutWritesTheDebugLineAndTheInstallLog) {
  {
    // Before the log exists: the debug line only, nothing returned.
    DebugCapture capture;
    ASSERT_TRUE(RunLua("n = select('#', Lua_Logout('准备 {0} %s'))"));
    EXPECT_EQ(Engine()->GetGlobalInteger("n"), 0);
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(capture.lines()[0], L"qd 准备 {0} %s");
  }
  // The log stays open for the rest of the process: its folder is left behind.
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring dir = std::wstring(temp) + UniqueName(L"zpklog");
  CreateDirectoryW(dir.c_str(), nullptr);
  CQVBaseLog::Instance()->InitLogger(Utf16ToAnsi((dir + L"\\Install.log").c_str()).c_str());
  ASSERT_TRUE(CQVBaseLog::Instance()->HasLogger());

  DebugCapture capture;
  ASSERT_TRUE(RunLua("Lua_Logout('unpack {1} done\\n'); Lua_Logout(12)"));
  EXPECT_EQ(capture.lines().size(), 2u);
  EXPECT_TRUE(capture.Contains(L"qd 12"));
  const std::string log =
      ReadFileBytes(dir + L"\\" + Utf8ToUtf16(CQVBaseLog::TodayFileName("Install")));
  EXPECT_NE(log.find("] [info] ["), std::string::npos) << log;
  EXPECT_NE(log.find(" Lua_Logout: "), std::string::npos) << log;
  EXPECT_NE(log.find("] log:unpack {1} done\n\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("] log:12\r\n"), std::string::npos) << log;
}
