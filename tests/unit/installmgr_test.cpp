#include <gtest/gtest.h>
#include <lua/lua.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "installmgr.h"
#include <shlobj.h>
#include "log/qvbaselog.h"
#include "scriptengine.h"
#include "testutil.h"
#include "textconv.h"

namespace {

ZPKScriptEngine* Engine() { return ZPKScriptEngine::Instance(); }

bool RunLua(const std::string& code) { return Engine()->DoBuffer(code.data(), code.size(), "=mgr"); }

// Script-visible probes: mark(name) records the order of events across threads;
// wait_flag() blocks until the test releases it.
std::mutex g_marksMu;
std::vector<std::string> g_marks;
std::atomic<bool> g_insideBeforeInstall{false};
std::atomic<bool> g_release{false};

int Mark(lua_State* L) {
  std::lock_guard<std::mutex> g(g_marksMu);
  g_marks.push_back(lua_tostring(L, 1));
  return 0;
}
int HoldUntilReleased(lua_State*) {
  g_insideBeforeInstall = true;
  while (!g_release) Sleep(5);
  return 0;
}

struct Process {
  PROCESS_INFORMATION pi{};
  bool Start(const std::wstring& exe) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    std::wstring cmd = L"\"" + exe + L"\" 60";
    return CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                          &pi) != 0;
  }
  DWORD ExitCodeAfter(DWORD ms) {
    WaitForSingleObject(pi.hProcess, ms);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    return code;
  }
  ~Process() {
    if (pi.hProcess) {
      TerminateProcess(pi.hProcess, 1);
      WaitForSingleObject(pi.hProcess, 5000);
      CloseHandle(pi.hProcess);
      CloseHandle(pi.hThread);
    }
  }
};

std::wstring IdleExe() { return ModuleDir() + L"\\..\\bin\\idle.exe"; }

// The install log of this test program (the logger exists once per process).
std::wstring LogFile() {
  static TempDir* dir = [] {
    auto* d = new TempDir;
    CQVBaseLog::Instance()->InitLogger(Utf16ToAnsi((*d / L"Install.log").c_str()).c_str());
    return d;
  }();
  return *dir / Utf8ToUtf16(CQVBaseLog::TodayFileName("Install"));
}

}  // namespace

TEST(InstallMgr, EventsRunInOrderOnce) {
  lua_register(Engine()->State(), "mark", Mark);
  g_marks.clear();
  ASSERT_TRUE(RunLua(R"(
    global_install_path = "C:\\nowhere-zpk-test"
    for _, e in ipairs{"BeforeInit","BeforeInstall","OnInstall","BeforeComplete","AfterComplete"} do
      _G["ZPKSE_" .. e] = function() mark(e) end
    end)"));
  CInstallMgr* m = CInstallMgr::Instance();
  m->BeforeInit();
  m->BeforeInstall();
  m->OnInstall();
  m->BeforeComplete();
  m->AfterComplete();
  EXPECT_EQ(g_marks, (std::vector<std::string>{"BeforeInit", "BeforeInstall", "OnInstall",
                                               "BeforeComplete", "AfterComplete"}));
}

TEST(InstallMgr, EventsNeverOverlapAcrossThreads) {
  lua_State* L = Engine()->State();
  lua_register(L, "mark", Mark);
  lua_register(L, "hold", HoldUntilReleased);
  g_marks.clear();
  g_release = false;
  g_insideBeforeInstall = false;
  ASSERT_TRUE(RunLua(R"(
    function ZPKSE_BeforeInstall() mark("BeforeInstall:start"); hold(); mark("BeforeInstall:end") end
    function ZPKSE_OnInstall() mark("OnInstall") end)"));
  std::thread window([] { CInstallMgr::Instance()->BeforeInstall(); });
  while (!g_insideBeforeInstall) Sleep(1);
  std::thread worker([] { CInstallMgr::Instance()->OnInstall(); });
  // While an event runs the window must not touch the script state.
  bool touched = CInstallMgr::Instance()->TryWithScriptState([] {});
  Sleep(200);
  {
    std::lock_guard<std::mutex> g(g_marksMu);
    EXPECT_EQ(g_marks, (std::vector<std::string>{"BeforeInstall:start"}));
  }
  g_release = true;
  window.join();
  worker.join();
  EXPECT_FALSE(touched);
  EXPECT_EQ(g_marks, (std::vector<std::string>{"BeforeInstall:start", "BeforeInstall:end",
                                               "OnInstall"}));
  EXPECT_TRUE(CInstallMgr::Instance()->TryWithScriptState([] {}));
}

TEST(InstallMgr, ToolProcessesOneLevelDownAreEnded) {
  TempDir dir;
  const std::wstring logFile = LogFile();
  const std::wstring tools = dir / L"Tools";
  CreateDirectoryW(tools.c_str(), nullptr);
  CreateDirectoryW((tools + L"\\A").c_str(), nullptr);
  CreateDirectoryW((tools + L"\\A\\Deeper").c_str(), nullptr);
  ASSERT_TRUE(CopyFileW(IdleExe().c_str(), (tools + L"\\A\\zpktool_a.exe").c_str(), FALSE));
  ASSERT_TRUE(WriteFileBytes(tools + L"\\A\\readme.txt", "not a program"));
  ASSERT_TRUE(CopyFileW(IdleExe().c_str(), (tools + L"\\zpktool_b.exe").c_str(), FALSE));
  ASSERT_TRUE(CopyFileW(IdleExe().c_str(), (tools + L"\\A\\ZPKTOOL_C.EXE").c_str(), FALSE));
  ASSERT_TRUE(CopyFileW(IdleExe().c_str(), (tools + L"\\A\\Deeper\\zpktool_d.exe").c_str(), FALSE));
  // Same name as the tool in other letter case, started from elsewhere: also ended.
  CreateDirectoryW((dir / L"elsewhere").c_str(), nullptr);
  ASSERT_TRUE(CopyFileW(IdleExe().c_str(), (dir / L"elsewhere\\ZPKTOOL_A.exe").c_str(), FALSE));

  Process a, b, c, d, other;
  ASSERT_TRUE(a.Start(tools + L"\\A\\zpktool_a.exe"));
  ASSERT_TRUE(b.Start(tools + L"\\zpktool_b.exe"));
  ASSERT_TRUE(c.Start(tools + L"\\A\\ZPKTOOL_C.EXE"));
  ASSERT_TRUE(d.Start(tools + L"\\A\\Deeper\\zpktool_d.exe"));
  ASSERT_TRUE(other.Start(dir / L"elsewhere\\ZPKTOOL_A.exe"));
  Sleep(500);

  Engine()->SetGlobalString("global_install_path", dir.path());
  CInstallMgr::Instance()->KillAllToolProcess();

  EXPECT_EQ(a.ExitCodeAfter(5000), 10000u);
  EXPECT_EQ(other.ExitCodeAfter(5000), 10000u);
  EXPECT_EQ(b.ExitCodeAfter(300), STILL_ACTIVE);
  EXPECT_EQ(c.ExitCodeAfter(0), STILL_ACTIVE);  // ".EXE" is not looked for
  EXPECT_EQ(d.ExitCodeAfter(0), STILL_ACTIVE);  // two levels down

  const std::string log = ReadFileBytes(logFile);
  EXPECT_NE(log.find("strAppPath:" + Utf16ToUtf8(tools) + "\\\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("] " + Utf16ToUtf8(tools) + "\\A\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("] 2:----zpktool_a.exe\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("zpktool_b.exe"), std::string::npos) << log;
}

TEST(InstallMgr, FirstInstallationHasNoToolsFolder) {
  TempDir dir;
  const std::wstring logFile = LogFile();
  const size_t before = ReadFileBytes(logFile).size();
  Engine()->SetGlobalString("global_install_path", dir / L"not-there");
  CInstallMgr::Instance()->KillAllToolProcess();
  const std::string added = ReadFileBytes(logFile).substr(before);
  // Only the first record: nothing could be enumerated.
  EXPECT_NE(added.find("strAppPath:"), std::string::npos) << added;
  EXPECT_EQ(std::count(added.begin(), added.end(), '\n'), 1) << added;
}

TEST(InstallMgr, ZipFolderMenuIsBlockedInThe64BitView) {
  DebugCapture dbg;
  CInstallMgr::Instance()->HideSystemZipFolder();
  EXPECT_TRUE(dbg.Contains(L"qd HMenu1 ~!\r\n"));
  wchar_t value[128] = {};
  DWORD bytes = sizeof value;
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                          L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Blocked", 0,
                          KEY_READ | KEY_WOW64_64KEY, &key),
            ERROR_SUCCESS);
  LONG rc = RegQueryValueExW(key, L"{b8cdcb65-b1bf-4b42-9428-1dfdb7ee92af}", nullptr, nullptr,
                             reinterpret_cast<BYTE*>(value), &bytes);
  RegCloseKey(key);
  ASSERT_EQ(rc, ERROR_SUCCESS);
  EXPECT_STREQ(value, L"Compressed (zipped) Folder Menu");
  EXPECT_EQ(bytes, sizeof(L"Compressed (zipped) Folder Menu"));
}

TEST(InstallMgr, SendToEntryIsHidden) {
  wchar_t appData[MAX_PATH];
  ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, appData, CSIDL_APPDATA, TRUE));
  const std::wstring sendTo = std::wstring(appData) + L"\\Microsoft\\Windows\\SendTo";
  SHCreateDirectoryExW(nullptr, sendTo.c_str(), nullptr);
  const std::wstring entry = sendTo + L"\\压缩(zipped)文件夹.ZFSendToTarget";
  ASSERT_TRUE(WriteFileBytes(entry, ""));
  CInstallMgr::Instance()->HideSystemZipFolder();
  DWORD attrs = GetFileAttributesW(entry.c_str());
  SetFileAttributesW(entry.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(entry.c_str());
  ASSERT_NE(attrs, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attrs & FILE_ATTRIBUTE_HIDDEN);
}
