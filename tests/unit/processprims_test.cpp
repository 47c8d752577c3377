// Finding and ending processes from scripts, against real processes under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <sstream>
#include <vector>

#include <shlwapi.h>

#include <map>

#include "sysprims_util.h"
#include "zpkprocesstoolhelp.h"

using namespace sysprims;

namespace {

std::set<DWORD> ScriptIds(const char* call) {
  std::set<DWORD> ids;
  if (!RunLua(std::string("local r = {") + call + "}\n"
              "ids_n = #r\n for i, v in ipairs(r) do _G['ids_' .. i] = v end")) {
    return ids;
  }
  int n = Engine()->GetGlobalInteger("ids_n");
  for (int i = 1; i <= n; ++i)
    ids.insert(static_cast<DWORD>(Engine()->GetGlobalInteger(("ids_" + std::to_string(i)).c_str())));
  return ids;
}

// A copy of a helper under a name nobody else runs.
std::wstring CopyHelper(const TempDir& dir, const std::wstring& helper, const std::wstring& as) {
  std::wstring target = dir / as;
  CopyFileW(HelperPath(helper).c_str(), target.c_str(), FALSE);
  return target;
}

// The window helper: a top-level window of windowClass that closes on request ("close",
// exit code 42) or ignores it ("ignore"); what was posted to it goes to log.
struct WindowHelper {
  WindowHelper(const std::wstring& exe, const std::wstring& windowClass, const char* mode,
               const std::wstring& log)
      : child(Quote(exe) + L" " + windowClass + L" " + Utf8ToUtf16(mode) + L" " + Quote(log)),
        log(log) {
    window = WaitForWindow(windowClass);
  }
  std::vector<std::string> Posted() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadFileBytes(log));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  Child child;
  std::wstring log;
  HWND window = nullptr;
};

}  // namespace

TEST(ProcessPrims, GetProcessIdFindsEveryInstanceIgnoringCase) {
  TempDir dir;
  const std::wstring exe = CopyHelper(dir, L"idle.exe", L"ZpkTwin.exe");
  Child first(Quote(exe) + L" 60");
  Child second(Quote(exe) + L" 60");
  ASSERT_TRUE(first.started() && second.started());

  EXPECT_EQ(ScriptIds("Lua_GetProcessId('zpktwin.EXE')"), (std::set<DWORD>{first.pid(), second.pid()}));
  // The name is the last argument.
  EXPECT_EQ(ScriptIds("Lua_GetProcessId('idle.exe', 42, 'ZPKTWIN.exe')"),
            (std::set<DWORD>{first.pid(), second.pid()}));
  EXPECT_EQ(ScriptIds("Lua_GetProcessId('zpktwin')"), std::set<DWORD>{static_cast<DWORD>(-1)});
  EXPECT_EQ(ScriptIds("Lua_GetProcessId()"), std::set<DWORD>{static_cast<DWORD>(-1)});
  EXPECT_EQ(ScriptIds("Lua_GetProcessId({})"), std::set<DWORD>{static_cast<DWORD>(-1)});

  // The installer finds itself too: it is a query, not a choice of what to end.
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  Engine()->SetGlobalString("self_name", PathFindFileNameW(self));
  EXPECT_EQ(ScriptIds("Lua_GetProcessId(self_name)").count(GetCurrentProcessId()), 1u);
}

TEST(ProcessPrims, TaskKillEndsAProgramThatClosesWithoutTerminatingIt) {
  TempDir dir;
  const std::wstring cls = UniqueName(L"ZpkClose");
  WindowHelper helper(HelperPath(L"closewnd.exe"), cls, "close", dir / L"posted.txt");
  ASSERT_NE(helper.window, nullptr);
  Engine()->SetGlobalNumber("pid", helper.child.pid());

  EXPECT_TRUE(Bool("Lua_TaskKill(pid, nil)"));
  ASSERT_TRUE(helper.child.Exited());
  EXPECT_EQ(helper.child.ExitCode(), 42u) << "closed itself, not terminated";
  std::vector<std::string> posted = helper.Posted();
  ASSERT_FALSE(posted.empty());
  EXPECT_EQ(posted[0], "274 61536 0");  // WM_SYSCOMMAND SC_CLOSE from ending the process
}

TEST(ProcessPrims, TaskKillTerminatesAProgramThatIgnoresTheRequest) {
  TempDir dir;
  const std::wstring cls = UniqueName(L"ZpkStubborn");
  const std::wstring exe = CopyHelper(dir, L"closewnd.exe", L"ZpkStubborn.exe");
  WindowHelper helper(exe, cls, "ignore", dir / L"posted.txt");
  ASSERT_NE(helper.window, nullptr);

  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(Bool("Lua_TaskKill('zpkstubborn.exe', nil)"));  // by name
  const auto waited = std::chrono::steady_clock::now() - start;
  ASSERT_TRUE(helper.child.Exited());
  EXPECT_EQ(helper.child.ExitCode(), 0u) << "terminated with exit code 0";
  // It was given its chance to close first.
  EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count(), 2500);
  std::vector<std::string> posted = helper.Posted();
  EXPECT_NE(std::find(posted.begin(), posted.end(), "16 0 0"), posted.end());  // WM_CLOSE
}

TEST(ProcessPrims, TaskKillWindowStepFollowsTheArgumentsGiven) {
  TempDir dir;
  struct Case {
    const char* call;
    const char* firstPosted;
  } cases[] = {
      {"Lua_TaskKill(pid, cls)", "0 0 0"},                  // absent message: not nil, message 0
      {"Lua_TaskKill(pid, cls, nil)", "274 61536 0"},       // nil message: the close request
      {"Lua_TaskKill(pid, cls, 0x401, 7, '9')", "1025 7 9"},  // the script's own message
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    const std::wstring cls = UniqueName(L"ZpkWnd");
    WindowHelper helper(HelperPath(L"closewnd.exe"), cls, "close", dir / (cls + L".txt"));
    ASSERT_NE(helper.window, nullptr);
    Engine()->SetGlobalNumber("pid", helper.child.pid());
    Engine()->SetGlobalString("cls", cls);
    EXPECT_TRUE(Bool(c.call));
    ASSERT_TRUE(helper.child.Exited(5000));
    std::vector<std::string> posted = helper.Posted();
    ASSERT_FALSE(posted.empty());
    EXPECT_EQ(posted[0], c.firstPosted);
  }
}

TEST(ProcessPrims, NothingToEndIsSuccess) {
  EXPECT_TRUE(Bool("Lua_TaskKill(-1, nil)"));
  EXPECT_TRUE(Bool("Lua_TaskKill('-1', nil)"));  // a numeric string is an identifier
  EXPECT_TRUE(Bool("Lua_KillAllTaskByName('zpk-no-such-program.exe')"));
  EXPECT_TRUE(Bool("Lua_KillAllTaskByName(-1)"));
  EXPECT_TRUE(Bool("Lua_KillAllTaskByName(0)"));
  EXPECT_TRUE(Bool("Lua_TaskKill(-1)"));
  EXPECT_TRUE(Bool("Lua_KillAllTaskByName()"));  // no name matches nothing
}

TEST(ProcessPrims, AMissingWindowGetsNoMessageAndTheInstallerNone) {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
  EXPECT_TRUE(Bool("Lua_TaskKill(-1, 'ZpkNoSuchWindowClass', 0x12, 0, 0)"));  // WM_QUIT
  EXPECT_TRUE(Bool("Lua_TaskKill(-1, 'ZpkNoSuchWindowClass', nil)"));
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) << "message " << msg.message;
}

TEST(ProcessPrims, TheInstallerNeverEndsItself) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  Engine()->SetGlobalString("self_name", PathFindFileNameW(self));
  Engine()->SetGlobalNumber("self_pid", GetCurrentProcessId());
  // By name, the installer's own process is not a match: no other instance runs.
  EXPECT_TRUE(Bool("Lua_KillAllTaskByName(self_name)"));
  EXPECT_FALSE(Bool("Lua_TaskKill(self_pid, nil)"));
  EXPECT_FALSE(Bool("Lua_KillAllTaskByName(self_pid)"));
}

TEST(ProcessPrims, KillAllTaskByNameEndsTheNamedProgram) {
  TempDir dir;
  const std::wstring exe = CopyHelper(dir, L"idle.exe", L"ZpkLoner.exe");
  Child child(Quote(exe) + L" 60");
  ASSERT_TRUE(child.started());
  EXPECT_TRUE(Bool("Lua_KillAllTaskByName('ZPKLONER.EXE')"));
  EXPECT_TRUE(child.Exited());
  EXPECT_EQ(child.ExitCode(), 0u);
}

TEST(ProcessPrims, ImagePathIsADrivePath) {
  TempDir dir;
  const std::wstring local = CopyHelper(dir, L"idle.exe", L"ZpkImage.exe");
  Child fromTemp(Quote(local) + L" 60");
  wchar_t full[MAX_PATH];
  GetFullPathNameW(HelperPath(L"idle.exe").c_str(), MAX_PATH, full, nullptr);
  Child fromBuild(Quote(full) + L" 60");
  ASSERT_TRUE(fromTemp.started() && fromBuild.started());

  struct Case {
    DWORD pid;
    std::wstring path;
  } cases[] = {{fromTemp.pid(), local}, {fromBuild.pid(), full}};
  for (const Case& c : cases) {
    Engine()->SetGlobalNumber("pid", c.pid);
    ASSERT_TRUE(RunLua("image = Lua_GetImagePathByPid('ignored', pid)"));
    std::wstring image = Engine()->GetGlobalString("image");
    EXPECT_EQ(_wcsicmp(image.c_str(), c.path.c_str()), 0) << Utf16ToUtf8(image);
    ASSERT_GE(image.size(), 3u);
    EXPECT_EQ(image[1], L':');
  }
  // A process that cannot be opened, and no argument at all: nil.
  ASSERT_TRUE(RunLua("a = Lua_GetImagePathByPid(-1) == nil and Lua_GetImagePathByPid() == nil "
                     "and select('#', Lua_GetImagePathByPid(0)) == 0"));
  EXPECT_TRUE(Engine()->GetGlobalBoolean("a"));
}

TEST(ProcessToolkit, DevicePrefixIsTheTextBeforeTheThirdBackslash) {
  using zpkprocesstoolhelp::DevicePrefix;
  EXPECT_EQ(DevicePrefix(L"\\Device\\HarddiskVolume1\\Program Files\\a.exe"), L"\\Device\\HarddiskVolume1");
  EXPECT_EQ(DevicePrefix(L"\\Device\\HarddiskVolume1"), L"");
  EXPECT_EQ(DevicePrefix(L"a\\b"), L"");
  EXPECT_EQ(DevicePrefix(L""), L"");
}

TEST(ProcessToolkit, RewriteReplacesTheLeadingDeviceOnly) {
  using zpkprocesstoolhelp::RewriteDevicePath;
  std::map<std::wstring, std::wstring> drives{{L"\\Device\\HarddiskVolume1", L"C:"},
                                              {L"\\Device\\HarddiskVolume10", L"D:"}};
  std::wstring p = L"\\Device\\HarddiskVolume10\\x\\Device\\HarddiskVolume1\\y.exe";
  RewriteDevicePath(drives, p);
  EXPECT_EQ(p, L"D:\\x\\Device\\HarddiskVolume1\\y.exe");

  p = L"\\Device\\HarddiskVolume1\\Device\\HarddiskVolume1\\z.exe";
  RewriteDevicePath(drives, p);
  EXPECT_EQ(p, L"C:\\Device\\HarddiskVolume1\\z.exe");

  // A device without a drive loses its name and is remembered with an empty drive.
  p = L"\\Device\\Mup\\server\\share\\a.exe";
  RewriteDevicePath(drives, p);
  EXPECT_EQ(p, L"\\server\\share\\a.exe");
  EXPECT_EQ(drives.count(L"\\Device\\Mup"), 1u);

  p = L"\\short";
  RewriteDevicePath(drives, p);
  EXPECT_EQ(p, L"\\short");
}

TEST(ProcessToolkit, DriveMapKnowsTheSystemDrive) {
  wchar_t device[MAX_PATH];
  ASSERT_NE(QueryDosDeviceW(L"C:", device, MAX_PATH), 0u);
  std::wstring path = std::wstring(device) + L"\\windows\\notepad.exe";
  zpkprocesstoolhelp::CZpkProcessToolHelp toolhelp;
  ASSERT_TRUE(toolhelp.DevicePathToDrivePath(path));
  EXPECT_EQ(path, L"C:\\windows\\notepad.exe");
}
