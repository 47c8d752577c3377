// The installer program's start-up and silent run, through installers assembled with
// zpk_installer() from the test scripts in tests/installer/ (they note each step in the
// file named by ZT_EVENTS). Debug-output lines are read as the programs' debugger.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "processrun.h"
#include "testutil.h"

namespace {

const char kDefaultMutex[] = "Global\\{A043B702-166A-4FB8-9733-E2BC4713F36F}";
const wchar_t kDefaultMutexW[] = L"Global\\{A043B702-166A-4FB8-9733-E2BC4713F36F}";

std::wstring BinDir() { return ModuleDir() + L"\\..\\bin\\"; }
std::wstring Quoted(const std::wstring& s) { return L"\"" + s + L"\""; }
std::wstring Installer(const wchar_t* name) { return Quoted(BinDir() + name + L".exe"); }

std::string Narrow(const std::wstring& s) {
  std::string out;
  for (wchar_t c : s) out += static_cast<char>(c);  // test paths and names are ASCII
  return out;
}

std::vector<std::string> ReadLines(const std::wstring& path) {
  std::vector<std::string> lines;
  std::string text = ReadFileBytes(path), line;
  for (char c : text) {
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else if (c != '\r') {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// The lines the test scripts write for a silent and for a windowed run.
std::vector<std::string> SilentEvents(const std::string& installPath) {
  return {"config",    "install",        "BeforeInit",
          "BeforeInstall InstallPath=" + installPath + " ss=true",
          "OnInstall", "BeforeComplete", "AfterComplete"};
}
const std::vector<std::string> kWindowedEvents = {"config", "install", "BeforeInit"};
const std::vector<std::string> kDuplicateEvents = {"config", "install"};

// Closes every installer window that appears while it lives, as a user would on the
// options page, and tells whether there was one: the sign of a windowed run.
class WindowCloser {
 public:
  WindowCloser() : thread_([this] { Watch(); }) {}
  ~WindowCloser() { Stop(); }
  bool Stop() {
    if (thread_.joinable()) {
      stop_ = true;
      thread_.join();
    }
    return seen_;
  }

 private:
  void Watch() {
    while (!stop_) {
      if (HWND window = FindWindowW(L"CDlgInstall", nullptr)) {
        seen_ = true;
        PostMessageW(window, WM_CLOSE, 0, 0);
      }
      Sleep(50);
    }
  }
  std::atomic<bool> stop_{false};
  std::atomic<bool> seen_{false};
  std::thread thread_;
};

// The listener helper: a window in another process that records every message 3014.
class Listener {
 public:
  Listener(const TempDir& dir, const std::wstring& events, const std::wstring& release = L"") {
    const std::wstring hwndFile = dir / L"listener.hwnd";
    process_ = StartProcess(Quoted(BinDir() + L"listener.exe") + L" " + Quoted(hwndFile) + L" " +
                            Quoted(events) + (release.empty() ? L"" : L" " + Quoted(release)));
    for (int i = 0; process_ && i < 600 && !FileExists(hwndFile); ++i) Sleep(50);
    window_ = std::stoull(ReadFileBytes(hwndFile).empty() ? "0" : ReadFileBytes(hwndFile));
  }
  ~Listener() { Close(); }
  unsigned long long window() const { return window_; }
  std::wstring Arg() const { return std::to_wstring(window_); }
  // Closes the window; the helper's exit code: how many 3014 it received.
  DWORD Close() {
    DWORD code = 0xFFFFFFFF;
    if (!process_) return code;
    PostMessageW(reinterpret_cast<HWND>(static_cast<ULONG_PTR>(window_)), WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process_, 30000) != WAIT_OBJECT_0) TerminateProcess(process_, code);
    GetExitCodeProcess(process_, &code);
    CloseHandle(process_);
    process_ = nullptr;
    return code;
  }

 private:
  HANDLE process_ = nullptr;
  unsigned long long window_ = 0;
};

class InstallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    events_ = dir_ / L"events.txt";
    installPath_ = dir_ / L"app";
    Env(L"ZT_EVENTS", events_.c_str());
    Env(L"ZT_INSTALL_PATH", installPath_.c_str());
    Env(L"ZT_ENABLE_SS", nullptr);
    Env(L"ZT_SS", nullptr);
    Env(L"ZT_MUTEX", nullptr);
    // Each test its own instance mutex, so that nothing left by another test interferes.
    static int next = 0;
    Env(L"ZT_APP_ID", std::to_wstring(5000 + 100 * (GetCurrentProcessId() % 50) + ++next).c_str());
  }
  void TearDown() override {
    for (const auto& name : {L"ZT_EVENTS", L"ZT_INSTALL_PATH", L"ZT_ENABLE_SS", L"ZT_SS",
                             L"ZT_MUTEX", L"ZT_APP_ID"})
      Env(name, nullptr);
  }
  static void Env(const wchar_t* name, const wchar_t* value) { SetEnvironmentVariableW(name, value); }

  // Runs an installer with fresh events and returns the run; the events are in Events(),
  // and WindowShown() tells whether it showed its window (closed at once by the test).
  ProcessRun Run(const wchar_t* installer, const std::wstring& args, bool debug = true) {
    DeleteFileW(events_.c_str());
    WindowCloser closer;
    ProcessRun run = RunProcess(Installer(installer) + L" " + args, debug);
    windowShown_ = closer.Stop();
    return run;
  }
  bool WindowShown() const { return windowShown_; }
  std::vector<std::string> Events() const { return ReadLines(events_); }
  std::vector<std::string> Silent() const { return SilentEvents(Narrow(installPath_)); }

  TempDir dir_;
  std::wstring events_;
  std::wstring installPath_;
  bool windowShown_ = false;
};

// A run that ended as it should: 0, or 1602 (cancelled by the user) when it showed its
// window and the test closed it before anything was installed.
void ExpectCleanExit(const ProcessRun& run, bool windowClosed) {
  EXPECT_TRUE(run.started);
  EXPECT_TRUE(run.finished);
  EXPECT_EQ(windowClosed ? 1602u : 0u, run.exitCode);
}

std::wstring TempLogPath() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring path = temp;
  if (path.back() != L'\\') path += L'\\';
  return path + L"Install.log";
}

// Every path of PendingFileRenameOperations scheduled for deletion ("\??\" prefix cut).
std::vector<std::wstring> PendingDeletions() {
  std::vector<std::wstring> paths;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager", 0,
                    KEY_READ, &key) != ERROR_SUCCESS)
    return paths;
  DWORD bytes = 0, type = 0;
  RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, nullptr, &bytes);
  std::wstring data(bytes / sizeof(wchar_t) + 1, L'\0');
  if (bytes && RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type,
                                reinterpret_cast<BYTE*>(&data[0]), &bytes) == ERROR_SUCCESS) {
    // Pairs of (source, target); an empty target means deletion.
    std::vector<std::wstring> items;
    for (const wchar_t* p = data.c_str(); p < data.c_str() + bytes / sizeof(wchar_t);
         p += wcslen(p) + 1)
      items.push_back(p);
    for (size_t i = 0; i + 1 < items.size(); i += 2) {
      if (!items[i + 1].empty()) continue;
      std::wstring path = items[i];
      if (path.compare(0, 4, L"\\??\\") == 0) path = path.substr(4);
      paths.push_back(path);
    }
  }
  RegCloseKey(key);
  return paths;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// ---------------------------------------------------------------------------------------
// A complete silent run (also on the 32-bit build).

class InstallerWow64 : public InstallerTest {};

TEST_F(InstallerWow64, SilentRunRunsEachEventOnceThenTellsTheListenerAndDropsTheLog) {
  const std::wstring log = TempLogPath();
  ASSERT_TRUE(WriteFileBytes(log, "stale log of an earlier run"));
  Listener listener(dir_, events_);
  ASSERT_NE(0u, listener.window());

  ProcessRun run = Run(L"zpktest_flow", L"/InstallSlience true /InstallListenWnd " + listener.Arg());
  ExpectCleanExit(run, WindowShown());

  std::vector<std::string> expected = Silent();
  expected.push_back("3014 wParam=0 lParam=0");  // sent after the last event, and once
  EXPECT_EQ(expected, Events());
  EXPECT_EQ(1u, listener.Close());

  EXPECT_TRUE(run.HasQdLine("global_ss_install==true ~!"));
  EXPECT_TRUE(run.HasQdLine("start ss install!"));
  EXPECT_FALSE(WindowShown());

  EXPECT_FALSE(FileExists(log)) << "the stale Install.log is deleted at start";
  bool scheduled = false;
  for (const auto& path : PendingDeletions()) scheduled = scheduled || SameText(path, log);
  EXPECT_TRUE(scheduled) << "Install.log is scheduled for deletion at restart";
}

TEST_F(InstallerWow64, WindowedStartShowsTheWindowAndClosingItInstallsNothing) {
  ProcessRun run = Run(L"zpktest_flow", L"");
  ExpectCleanExit(run, WindowShown());
  EXPECT_EQ(kWindowedEvents, Events());
  EXPECT_TRUE(WindowShown());
  ASSERT_TRUE(run.HasLineStartingWith("qd  szObjectName")) << "debug output captured";
  EXPECT_FALSE(run.HasQdLine("start ss install!"));
}

// ---------------------------------------------------------------------------------------
// The run-mode decision.

struct ModeCase {
  const wchar_t* enable;  // ZT_ENABLE_SS: "1", "0" or null (absent)
  const wchar_t* args;
  const wchar_t* ss;      // what ZPKSE_BeforeInit sets global_ss_install to (null: nothing)
  bool silent;
};

void CheckModes(const std::vector<ModeCase>& cases,
                const std::function<ProcessRun(const std::wstring&)>& run,
                const std::function<std::vector<std::string>()>& events,
                const std::function<bool()>& windowShown,
                const std::vector<std::string>& silentEvents) {
  for (const ModeCase& c : cases) {
    SCOPED_TRACE(Narrow(std::wstring(L"enable=") + (c.enable ? c.enable : L"absent") +
                        L" args=[" + c.args + L"] ss=" + (c.ss ? c.ss : L"unset")));
    SetEnvironmentVariableW(L"ZT_ENABLE_SS", c.enable);
    SetEnvironmentVariableW(L"ZT_SS", c.ss);
    ProcessRun r = run(c.args);
    ExpectCleanExit(r, windowShown());
    EXPECT_EQ(c.silent ? silentEvents : kWindowedEvents, events());
    ASSERT_TRUE(r.HasLineStartingWith("qd  szObjectName")) << "debug output captured";
    EXPECT_EQ(c.silent, r.HasQdLine("start ss install!"));
    EXPECT_EQ(!c.silent, windowShown());
  }
}

TEST_F(InstallerTest, RunModeFollowsTheDecisionTable) {
  const std::vector<ModeCase> cases = {
      // not enabled, command line asks: silent
      {nullptr, L"/InstallSlience true", nullptr, true},
      {L"0", L"/InstallSlience true", L"false", true},
      // not enabled, command line does not ask: windowed, whatever the script wants
      {nullptr, L"", L"true", false},
      {L"0", L"/InstallSlience TRUE", nullptr, false},
      // enabled, command line asks: silent, the script's value is not read
      {L"1", L"/InstallSlience true", L"false", true},
      // enabled, command line does not ask: the script decides (any value but nil, false)
      {L"1", L"", L"true", true},
      {L"1", L"/InstallSlience no", L"yes", true},
      {L"1", L"", nullptr, false},
      {L"1", L"/InstallSlience", L"false", false},
  };
  CheckModes(cases, [this](const std::wstring& a) { return Run(L"zpktest_flow", a); },
             [this] { return Events(); }, [this] { return WindowShown(); }, Silent());
}

TEST_F(InstallerTest, SilenceValueIsReadAsTheCommandLineRulesSay) {
  const std::vector<ModeCase> cases = {
      {nullptr, L"/InstallSlience  true\t", nullptr, true},           // blanks trimmed
      {nullptr, L"/InstallSlience \"true\"", nullptr, true},          // outer quotes removed
      {nullptr, L"/InstallSlience \"true", nullptr, false},           // unbalanced quote kept
      {nullptr, L"/installslience true", nullptr, false},             // keys are case-sensitive
      {nullptr, L"/InstallSlience true two", nullptr, false},         // value keeps its spaces
      {nullptr, L"/InstallSlience true/InstallListenWnd 0", nullptr, true},  // a slash ends it
      {nullptr, L"/InstallSlience http://x.example/true", nullptr, false},
      {nullptr, L"/InstallSlience false /InstallSlience true", nullptr, true},  // later wins
      {nullptr, L"/InstallSlience true /InstallSlience false", nullptr, false},
      {nullptr, L"/ InstallSlience true", nullptr, false},            // empty key
  };
  CheckModes(cases, [this](const std::wstring& a) { return Run(L"zpktest_flow", a); },
             [this] { return Events(); }, [this] { return WindowShown(); }, Silent());
}

TEST_F(InstallerTest, ListenerNumberIsDecimal) {
  const std::wstring heard = dir_ / L"heard.txt";
  Listener listener(dir_, heard);
  ASSERT_NE(0u, listener.window());
  wchar_t hex[32];
  swprintf(hex, 32, L"0x%llx", listener.window());

  {
    const ProcessRun r = Run(L"zpktest_flow", L"/InstallSlience true /InstallListenWnd \"" + listener.Arg() + L"\"");
    ExpectCleanExit(r, WindowShown());
  }
  EXPECT_EQ(1u, ReadLines(heard).size()) << "a quoted number";
  {
    const ProcessRun r = Run(L"zpktest_flow", L"/InstallSlience true /InstallListenWnd " + std::wstring(hex));
    ExpectCleanExit(r, WindowShown());
  }
  EXPECT_EQ(1u, ReadLines(heard).size()) << "hexadecimal reads as 0: nobody is told";
  {
    const ProcessRun r = Run(L"zpktest_flow", L"/InstallSlience true /InstallListenWnd " + listener.Arg() + L"x");
    ExpectCleanExit(r, WindowShown());
  }
  EXPECT_EQ(2u, ReadLines(heard).size()) << "reading stops at the first non-digit";
  {
    const ProcessRun r = Run(L"zpktest_flow", L"/InstallListenWnd " + listener.Arg());
    ExpectCleanExit(r, WindowShown());
  }
  EXPECT_EQ(2u, ReadLines(heard).size()) << "a window closed on its options page tells nobody";
  EXPECT_EQ(2u, listener.Close());
}

// ---------------------------------------------------------------------------------------
// One installer per product.

TEST_F(InstallerTest, SecondStartLeavesWhileTheFirstRunsUnlessSilenceIsGiven) {
  const std::wstring release = dir_ / L"release";
  const std::wstring heard = dir_ / L"heard.txt";
  const std::wstring firstEvents = dir_ / L"first.txt";
  Listener listener(dir_, heard, release);
  ASSERT_NE(0u, listener.window());

  // The first instance stays inside SendMessageW, after its last event, until released.
  Env(L"ZT_EVENTS", firstEvents.c_str());
  HANDLE first = StartProcess(Installer(L"zpktest_flow") + L" /InstallSlience true /InstallListenWnd " +
                              listener.Arg());
  ASSERT_NE(nullptr, first);
  for (int i = 0; i < 1200 && ReadLines(heard).empty(); ++i) Sleep(50);
  ASSERT_EQ(1u, ReadLines(heard).size());
  Env(L"ZT_EVENTS", events_.c_str());

  ProcessRun second = Run(L"zpktest_flow", L"");
  ExpectCleanExit(second, WindowShown());
  EXPECT_EQ(kDuplicateEvents, Events()) << "no ZPKSE_BeforeInit in a second windowed start";
  EXPECT_TRUE(second.HasQdLine("CreateAppInstance return true"));

  ProcessRun beside = Run(L"zpktest_flow", L"/InstallSlience no");
  ExpectCleanExit(beside, WindowShown());
  EXPECT_EQ(kWindowedEvents, Events()) << "with the key present the run goes on";
  ASSERT_TRUE(beside.HasLineStartingWith("qd  szObjectName")) << "debug output captured";
  EXPECT_FALSE(beside.HasQdLine("CreateAppInstance return true"));

  ProcessRun silent = Run(L"zpktest_flow", L"/InstallSlience true");
  ExpectCleanExit(silent, WindowShown());
  EXPECT_EQ(Silent(), Events());

  ASSERT_TRUE(WriteFileBytes(release, "go"));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(first, 60000));
  DWORD code = 0xFFFFFFFF;
  GetExitCodeProcess(first, &code);
  CloseHandle(first);
  EXPECT_EQ(0u, code);
  std::vector<std::string> expected = Silent();
  EXPECT_EQ(expected, ReadLines(firstEvents));
  EXPECT_EQ(1u, listener.Close()) << "only the first run named the listener";

  // The first instance is gone, and so is its mutex: a windowed start goes on.
  {
    const ProcessRun r = Run(L"zpktest_flow", L"");
    ExpectCleanExit(r, WindowShown());
  }
  EXPECT_EQ(kWindowedEvents, Events());
}

struct NameCase {
  const wchar_t* configured;  // global_install_mutex_guid (null: absent)
  const wchar_t* appId;       // global_app_id
  std::wstring held;          // the mutex another instance holds
  std::string objectName;     // the name the installer uses
  bool duplicate;
};

TEST_F(InstallerTest, MutexNameComesFromTheConfiguration) {
  const std::vector<NameCase> cases = {
      {nullptr, L"161", std::wstring(kDefaultMutexW) + L"161", std::string(kDefaultMutex) + "161", true},
      {nullptr, L"0", kDefaultMutexW, kDefaultMutex, true},
      {nullptr, nullptr, kDefaultMutexW, kDefaultMutex, true},  // absent reads as 0
      {nullptr, L"162", kDefaultMutexW, std::string(kDefaultMutex) + "162", false},
      {L"Global\\zpktest-own", L"161", L"Global\\zpktest-own", "Global\\zpktest-own", true},
      {L"Global\\zpktest-own", L"161", L"Global\\zpktest-own161", "Global\\zpktest-own", false},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.objectName + (c.duplicate ? " held" : " not held"));
    Env(L"ZT_MUTEX", c.configured);
    Env(L"ZT_APP_ID", c.appId);
    HANDLE held = CreateMutexW(nullptr, FALSE, c.held.c_str());
    ASSERT_NE(nullptr, held);
    ProcessRun run = Run(L"zpktest_flow", L"");
    CloseHandle(held);
    ExpectCleanExit(run, WindowShown());
    EXPECT_TRUE(run.HasQdLine(" szObjectName = " + c.objectName + " "));
    EXPECT_EQ(c.duplicate, run.HasQdLine("CreateAppInstance return true"));
    EXPECT_EQ(c.duplicate ? kDuplicateEvents : kWindowedEvents, Events());
  }
}

// ---------------------------------------------------------------------------------------
// Broken installers end quietly before anything runs, with 1603: a deployment tool must
// not take them for a successful installation.

TEST_F(InstallerTest, MissingOrCorruptChunkEndsBeforeAnythingRuns) {
  struct Case {
    const wchar_t* installer;
    const char* line;
    std::vector<std::string> events;
  };
  const std::vector<Case> cases = {
      {L"zpktest_noconfig", "DoResLua failed, GLOBAL_VAR.LUAC", {}},
      {L"zpktest_badconfig", "DoResLua failed, GLOBAL_VAR.LUAC", {}},
      {L"zpktest_noinstall", "DoResLua failed, INSTSCRIPT.LUAC", {"config"}},
      {L"zpktest_badinstall", "DoResLua failed, INSTSCRIPT.LUAC", {"config"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.installer));
    ProcessRun run = Run(c.installer, L"/InstallSlience true");
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(1603u, run.exitCode);
    EXPECT_TRUE(run.HasQdLine(c.line));
    EXPECT_EQ(c.events, Events());
    EXPECT_FALSE(run.HasLineStartingWith("qd  szObjectName")) << "no instance check";
    EXPECT_FALSE(run.HasQdLine("start ss install!"));
  }
}

// ---------------------------------------------------------------------------------------
// What zpk_installer() puts into the program.

std::string Resource(HMODULE module, const wchar_t* type, const wchar_t* name) {
  HRSRC info = FindResourceW(module, name, type);
  HGLOBAL data = info ? LoadResource(module, info) : nullptr;
  if (!data) return {};
  return std::string(static_cast<const char*>(LockResource(data)), SizeofResource(module, info));
}

TEST_F(InstallerTest, AssembledInstallerCarriesItsParts) {
  const std::wstring path = BinDir() + L"zpktest_flow.exe";
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(nullptr, module);
  const std::string chunkHeader = std::string("\x1bLua\x52\x00\x01\x04", 8) + char(sizeof(size_t));
  for (const wchar_t* name : {L"GLOBAL_VAR.LUAC", L"INSTSCRIPT.LUAC", L"UNINSTSCRIPT.LUAC"}) {
    SCOPED_TRACE(Narrow(name));
    EXPECT_EQ(chunkHeader, Resource(module, L"LUA", name).substr(0, 9)) << "a chunk for this word size";
  }
  const std::string payload = Resource(module, L"_7Z", L"APP.7Z");
  EXPECT_EQ(std::string("z7\xBC\xAF\x27\x1C", 6), payload.substr(0, 6)) << "7z, first two bytes exchanged";
  const std::string skin = Resource(module, L"ZIP", MAKEINTRESOURCEW(249));
  EXPECT_EQ(std::string("PK\x03\x04", 4), skin.substr(0, 4));
  EXPECT_NE(std::string::npos, skin.find("Layout/Layout.xml"));
  const std::string manifest = Resource(module, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1));
  EXPECT_NE(std::string::npos, manifest.find("level=\"requireAdministrator\""));
  EXPECT_EQ(std::string::npos, manifest.find("supportedOS"));
  FreeLibrary(module);

  const std::wstring partial = BinDir() + L"zpktest_noconfig.exe";
  module = LoadLibraryExW(partial.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(nullptr, module);
  EXPECT_TRUE(Resource(module, L"LUA", L"GLOBAL_VAR.LUAC").empty()) << "a part left out is absent";
  EXPECT_FALSE(Resource(module, L"LUA", L"INSTSCRIPT.LUAC").empty());
  EXPECT_TRUE(Resource(module, L"_7Z", L"APP.7Z").empty());
  FreeLibrary(module);
}

}  // namespace
