// A damaged installer stops before its install script touches the machine: copies of the
// start-up test installer whose payload resource was altered (a flipped byte, cut short,
// the recorded hash taken away or spoilt) end with exit code 1392 and a debug-output line
// in the silent run, a message box over the installer window in the windowed run (checked
// beside the window); the install events never run and the installation folder is never
// made. The intact installer passes the same check.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "processrun.h"
#include "testutil.h"

namespace {

constexpr DWORD kDamagedExit = 1392;
const char kMismatchLine[] = "qd Payload check failed: payload hash mismatch, nothing installed";

std::wstring Quoted(const std::wstring& s) { return L"\"" + s + L"\""; }
std::wstring FlowInstaller() { return ModuleDir() + L"\\..\\bin\\zpktest_flow.exe"; }

std::string ResourceOf(const std::wstring& exe, const wchar_t* name) {
  std::string bytes;
  HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return bytes;
  if (HRSRC found = FindResourceW(module, name, L"_7Z")) {
    const char* p = static_cast<const char*>(LockResource(LoadResource(module, found)));
    if (p) bytes.assign(p, SizeofResource(module, found));
  }
  FreeLibrary(module);
  return bytes;
}

struct ResourceCopy {
  HANDLE update;
  HMODULE source;
  const wchar_t* skip;  // the _7Z name left out
};

bool IsName(LPCWSTR id, const wchar_t* name) { return !IS_INTRESOURCE(id) && _wcsicmp(id, name) == 0; }

BOOL CALLBACK CopyLanguage(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR param) {
  auto* copy = reinterpret_cast<ResourceCopy*>(param);
  if (IsName(type, L"_7Z") && IsName(name, copy->skip)) return TRUE;
  HRSRC found = FindResourceExW(module, type, name, language);
  void* bytes = found ? LockResource(LoadResource(module, found)) : nullptr;
  if (bytes) UpdateResourceW(copy->update, type, name, language, bytes, SizeofResource(module, found));
  return TRUE;
}
BOOL CALLBACK CopyName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR param) {
  EnumResourceLanguagesW(module, type, name, CopyLanguage, param);
  return TRUE;
}
BOOL CALLBACK CopyType(HMODULE module, LPWSTR type, LONG_PTR param) {
  EnumResourceNamesW(module, type, CopyName, param);
  return TRUE;
}

BOOL CALLBACK TakeLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR out) {
  *reinterpret_cast<WORD*>(out) = language;
  return FALSE;
}

// Replaces one _7Z resource of the file in its own language; with null bytes the file's
// resources are written anew without that one.
bool PatchResource(const std::wstring& exe, const wchar_t* name, const std::string* bytes) {
  const std::wstring original = exe + L".orig";
  if (!CopyFileW(exe.c_str(), original.c_str(), FALSE)) return false;
  HMODULE module = LoadLibraryExW(original.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return false;
  WORD language = 0;
  EnumResourceLanguagesW(module, L"_7Z", name, TakeLanguage, reinterpret_cast<LONG_PTR>(&language));
  HANDLE update = BeginUpdateResourceW(exe.c_str(), bytes == nullptr);
  BOOL ok = update != nullptr;
  if (ok && bytes) {
    ok = UpdateResourceW(update, L"_7Z", name, language, const_cast<char*>(bytes->data()),
                         static_cast<DWORD>(bytes->size()));
  } else if (ok) {
    ResourceCopy copy{update, module, name};
    ok = EnumResourceTypesW(module, CopyType, reinterpret_cast<LONG_PTR>(&copy));
  }
  if (update) ok = EndUpdateResourceW(update, !ok) && ok;
  FreeLibrary(module);
  DeleteFileW(original.c_str());
  return ok;
}

class DamagedPayload : public ::testing::Test {
 protected:
  void SetUp() override {
    events_ = dir_ / L"events.txt";
    target_ = dir_ / L"app";
    SetEnvironmentVariableW(L"ZT_EVENTS", events_.c_str());
    SetEnvironmentVariableW(L"ZT_INSTALL_PATH", target_.c_str());
    SetEnvironmentVariableW(L"ZT_APP_ID", std::to_wstring(7100 + GetCurrentProcessId() % 800).c_str());
    payload_ = ResourceOf(FlowInstaller(), L"APP.7Z");
    hash_ = ResourceOf(FlowInstaller(), L"APP.SHA256");
    ASSERT_GT(payload_.size(), 32u);
    ASSERT_EQ(hash_.size(), 64u) << "the build records the payload's hash";
  }
  void TearDown() override {
    for (const wchar_t* name : {L"ZT_EVENTS", L"ZT_INSTALL_PATH", L"ZT_APP_ID"})
      SetEnvironmentVariableW(name, nullptr);
  }

  // A copy of the test installer with one resource replaced (or removed).
  std::wstring Damaged(const wchar_t* file, const wchar_t* name, const std::string* bytes) {
    const std::wstring exe = dir_ / file;
    EXPECT_TRUE(CopyFileW(FlowInstaller().c_str(), exe.c_str(), FALSE));
    EXPECT_TRUE(PatchResource(exe, name, bytes));
    return exe;
  }

  ProcessRun Silent(const std::wstring& exe) {
    DeleteFileW(events_.c_str());
    return RunProcess(Quoted(exe) + L" /InstallSlience true", true);
  }

  // Nothing past the start-up: the events that change the machine did not run.
  void ExpectNothingInstalled() {
    const std::string events = ReadFileBytes(events_);
    EXPECT_NE(events.find("BeforeInit"), std::string::npos) << events;
    EXPECT_EQ(events.find("BeforeInstall"), std::string::npos) << events;
    EXPECT_EQ(events.find("OnInstall"), std::string::npos) << events;
    EXPECT_FALSE(FileExists(target_));
  }

  TempDir dir_;
  std::wstring events_, target_;
  std::string payload_, hash_;
};

TEST_F(DamagedPayload, IntactInstallerRunsEveryEvent) {
  const std::string same = payload_;
  const ProcessRun run = Silent(Damaged(L"intact.exe", L"APP.7Z", &same));  // rewritten, unchanged
  EXPECT_EQ(run.exitCode, 0u);
  // A line that must be there first: an absent line proves nothing when capture fails.
  ASSERT_TRUE(run.HasQdLine("start ss install!")) << "the child's debug output was not captured";
  EXPECT_FALSE(run.HasLineStartingWith("qd Payload check failed"));
  EXPECT_NE(ReadFileBytes(events_).find("AfterComplete"), std::string::npos);
}

TEST_F(DamagedPayload, SilentRunRefusesEachDamage) {
  std::string flipped = payload_;
  flipped[flipped.size() / 2] ^= 0x20;
  const std::string truncated = payload_.substr(0, payload_.size() - payload_.size() / 3);
  const std::string spoilt = std::string(64, 'x');
  struct Case { const wchar_t* file; const wchar_t* name; const std::string* bytes; const char* line; };
  const Case cases[] = {
      {L"flipped.exe", L"APP.7Z", &flipped, kMismatchLine},
      {L"truncated.exe", L"APP.7Z", &truncated, kMismatchLine},
      {L"nohash.exe", L"APP.SHA256", nullptr,
       "qd Payload check failed: no recorded payload hash, nothing installed"},
      {L"badhash.exe", L"APP.SHA256", &spoilt,
       "qd Payload check failed: recorded payload hash malformed, nothing installed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << std::string(c.file, c.file + wcslen(c.file)));
    const ProcessRun run = Silent(Damaged(c.file, c.name, c.bytes));
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, kDamagedExit);
    EXPECT_TRUE(run.HasLine(c.line));
    ExpectNothingInstalled();
  }
}

TEST_F(DamagedPayload, WindowedRunShowsAMessageBox) {
  std::string flipped = payload_;
  flipped[7] ^= 0x01;
  const std::wstring exe = Damaged(L"windowed.exe", L"APP.7Z", &flipped);
  DeleteFileW(events_.c_str());
  HANDLE process = StartProcess(Quoted(exe));
  ASSERT_TRUE(process);
  HWND box = nullptr;
  for (int i = 0; i < 600 && !box; ++i) {
    box = FindWindowW(L"#32770", L"\u5B89\u88C5");  // "安装": no product name configured
    if (!box) Sleep(50);
  }
  ASSERT_TRUE(box) << "no message box";
  // The check runs beside the window, so the box belongs to the window already shown.
  wchar_t ownerClass[64] = {};
  GetClassNameW(GetWindow(box, GW_OWNER), ownerClass, 64);
  EXPECT_STREQ(ownerClass, L"CDlgInstall") << "the installer window is up while the payload is checked";
  wchar_t text[256] = {};
  GetDlgItemTextW(box, 0xFFFF, text, 256);
  EXPECT_NE(std::wstring(text).find(L"\u5DF2\u635F\u574F"), std::wstring::npos) << "text names the damage";
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  DWORD code = 0;
  EXPECT_EQ(WaitForSingleObject(process, 30000), WAIT_OBJECT_0);
  GetExitCodeProcess(process, &code);
  CloseHandle(process);
  EXPECT_EQ(code, kDamagedExit);
  ExpectNothingInstalled();
}

}  // namespace
