// The shell primitives against Wine's shell: shortcuts read back through the shell's own
// COM objects, programs started (and waited for) through the shell, the desktop-shell
// launch, and special folders published as environment variables.
#include <gtest/gtest.h>
#include <lua/lua.hpp>
#include <objbase.h>
#include <shlobj.h>

#include <intshcut.h>

#include <string>

#include "primitives/shell.h"
#include "scriptengine.h"
#include "testutil.h"
#include "textconv.h"

namespace {

const CLSID kClsidShellLink = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kIidShellLinkW = {0x000214F9, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const CLSID kClsidInternetShortcut = {0xFBF23B40, 0xE3F0, 0x101B, {0x84, 0x88, 0x00, 0xAA, 0x00, 0x3E, 0x56, 0xF8}};
const IID kIidUrlLocatorW = {0xCABB0DA0, 0xDA57, 0x11CF, {0x99, 0x74, 0x00, 0x20, 0xAF, 0xD7, 0x97, 0x62}};
const IID kIidPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

bool RunLua(const std::string& code) {
  return ZPKScriptEngine::Instance()->DoBuffer(code.data(), code.size(), "=shellprims");
}
bool Global(const char* name) { return ZPKScriptEngine::Instance()->GetGlobalBoolean(name); }

std::string Lit(const std::wstring& text) { return "[==[" + Utf16ToUtf8(text) + "]==]"; }

std::wstring FullPath(const std::wstring& path) {
  wchar_t buf[MAX_PATH];
  GetFullPathNameW(path.c_str(), MAX_PATH, buf, nullptr);
  return buf;
}
std::wstring HelperDir() { return FullPath(ModuleDir() + L"\\..\\bin"); }
std::wstring Helper() { return HelperDir() + L"\\latemark.exe"; }

// The helper's report, once it wrote one (it renames a finished file into place).
std::string WaitForReport(const std::wstring& path, int seconds) {
  for (int i = 0; i < seconds * 10; ++i) {
    if (FileExists(path)) return ReadFileBytes(path);
    Sleep(100);
  }
  return std::string();
}

std::string Report(int show, const std::wstring& dir, const std::string& args) {
  return "show=" + std::to_string(show) + " dir=" + Utf16ToUtf8(dir) + " args=" + args;
}

struct Link {
  std::wstring path, arguments, dir, description;
};

Link ReadLink(const std::wstring& file) {
  Link out;
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(kClsidShellLink, nullptr, CLSCTX_ALL, kIidShellLinkW, reinterpret_cast<void**>(&link))))
    return out;
  IPersistFile* persist = nullptr;
  if (SUCCEEDED(link->QueryInterface(kIidPersistFile, reinterpret_cast<void**>(&persist)))) {
    if (SUCCEEDED(persist->Load(file.c_str(), STGM_READ))) {
      wchar_t buf[INFOTIPSIZE] = {};
      if (SUCCEEDED(link->GetPath(buf, MAX_PATH, nullptr, SLGP_RAWPATH))) out.path = buf;
      buf[0] = 0;
      if (SUCCEEDED(link->GetArguments(buf, INFOTIPSIZE))) out.arguments = buf;
      buf[0] = 0;
      if (SUCCEEDED(link->GetWorkingDirectory(buf, MAX_PATH))) out.dir = buf;
      buf[0] = 0;
      if (SUCCEEDED(link->GetDescription(buf, INFOTIPSIZE))) out.description = buf;
    }
    persist->Release();
  }
  link->Release();
  return out;
}

std::wstring ReadUrl(const std::wstring& file) {
  std::wstring out;
  IUniformResourceLocatorW* url = nullptr;
  if (FAILED(CoCreateInstance(kClsidInternetShortcut, nullptr, CLSCTX_ALL, kIidUrlLocatorW,
                              reinterpret_cast<void**>(&url))))
    return out;
  IPersistFile* persist = nullptr;
  if (SUCCEEDED(url->QueryInterface(kIidPersistFile, reinterpret_cast<void**>(&persist)))) {
    wchar_t* text = nullptr;
    if (SUCCEEDED(persist->Load(file.c_str(), STGM_READ)) && SUCCEEDED(url->GetURL(&text)) && text) {
      out = text;
      CoTaskMemFree(text);
    }
    persist->Release();
  }
  url->Release();
  return out;
}

bool SameText(const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) == 0; }

class ShellPrims : public ::testing::Test {
 protected:
  void SetUp() override { CoInitialize(nullptr); }
  void TearDown() override { CoUninitialize(); }
  TempDir temp_;
};

}  // namespace

TEST(ShellVerbs, PinVerbsAnyCase) {
  for (const wchar_t* v : {L"startpin", L"Startunpin", L"TASKBARPIN", L"taskbarunpin"})
    EXPECT_TRUE(shellprim::IsPinVerb(v)) << Utf16ToUtf8(v);
  for (const wchar_t* v : {L"", L"open", L"pin", L"taskbarpin "}) EXPECT_FALSE(shellprim::IsPinVerb(v));
  EXPECT_TRUE(shellprim::IsUnpinVerb(L"startUnpin"));
  EXPECT_FALSE(shellprim::IsUnpinVerb(L"Startpin"));
}

TEST_F(ShellPrims, ShortcutReadsBackWithTargetArgumentsFolderAndDescription) {
  const std::wstring link = temp_ / L"Start Menu\\Ruvan 压缩\\Ruvan Zip.lnk";  // folders do not exist yet
  DebugCapture capture;
  ASSERT_TRUE(RunLua("sc_ok = Lua_CreateShortcut(" + Lit(Helper()) + ", " + Lit(link) +
                     ", '--from \"menu\" 1', '解压缩 Ruvan')"));
  ASSERT_TRUE(Global("sc_ok"));
  const Link l = ReadLink(link);
  EXPECT_TRUE(SameText(l.path, Helper())) << Utf16ToUtf8(l.path);
  EXPECT_EQ(l.arguments, L"--from \"menu\" 1");
  EXPECT_TRUE(SameText(l.dir, HelperDir())) << Utf16ToUtf8(l.dir);
  EXPECT_EQ(l.description, L"解压缩 Ruvan");
  EXPECT_TRUE(capture.Contains(L"qd Save Shortcut " + link + L" \r\n"));
}

TEST_F(ShellPrims, ArgumentsAndDescriptionOnlyWithAFourthArgument) {
  SetEnvironmentVariableW(L"ZPK_SHELL_HELPERS", HelperDir().c_str());
  const std::wstring three = temp_ / L"three.lnk";
  const std::wstring nilDesc = temp_ / L"nildesc.lnk";
  const std::wstring nilArgs = temp_ / L"nilargs.lnk";
  SetEnvironmentVariableW(L"ZPK_SHELL_TEMP", temp_.path().c_str());
  ASSERT_TRUE(RunLua(R"(
    local t = "%ZPK_SHELL_HELPERS%\\latemark.exe"
    sc3 = Lua_CreateShortcut(t, "%ZPK_SHELL_TEMP%\\three.lnk", "ignored")
    sc4 = Lua_CreateShortcut(t, "%ZPK_SHELL_TEMP%\\nildesc.lnk", "-a", nil)
    sc5 = Lua_CreateShortcut(t, "%ZPK_SHELL_TEMP%\\nilargs.lnk", nil, "only a description"))"));
  EXPECT_TRUE(Global("sc3") && Global("sc4") && Global("sc5"));
  Link l = ReadLink(three);
  EXPECT_TRUE(SameText(l.path, Helper())) << "the target is expanded: " << Utf16ToUtf8(l.path);
  EXPECT_EQ(l.arguments, L"");
  l = ReadLink(nilDesc);
  EXPECT_EQ(l.arguments, L"-a");
  EXPECT_EQ(l.description, L"");
  l = ReadLink(nilArgs);
  EXPECT_EQ(l.arguments, L"");
  EXPECT_EQ(l.description, L"only a description");
}

TEST_F(ShellPrims, UrlTargetGivesAnInternetShortcutAtTheLinkPathAsGiven) {
  const std::wstring link = temp_ / L"Ruvan Help";  // no extension, and none is added
  ASSERT_TRUE(RunLua("url_ok = Lua_CreateShortcut('https://ruvan.example/help?a=1', " + Lit(link) +
                     ", 'unused', 'unused')"));
  EXPECT_TRUE(Global("url_ok"));
  ASSERT_TRUE(FileExists(link));
  EXPECT_FALSE(FileExists(link + L".url"));
  EXPECT_EQ(ReadUrl(link), L"https://ruvan.example/help?a=1");
  EXPECT_NE(ReadFileBytes(link).find("URL=https://ruvan.example/help?a=1"), std::string::npos);
}

TEST_F(ShellPrims, ShortcutThatCannotBeSavedIsFalseWithItsTrace) {
  ASSERT_TRUE(WriteFileBytes(temp_ / L"plain.txt", "x"));
  const std::wstring link = temp_ / L"plain.txt\\x.lnk";  // its folder is a file
  DebugCapture capture;
  ASSERT_TRUE(RunLua("bad_ok = Lua_CreateShortcut(" + Lit(Helper()) + ", " + Lit(link) + ", 'a', 'b')"));
  EXPECT_FALSE(Global("bad_ok"));
  const auto lines = capture.lines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[lines.size() - 4], L"qd Save " + link + L" failed!\r\n");
  EXPECT_EQ(lines.back().rfind(L"qd qd err:", 0), 0u) << Utf16ToUtf8(lines.back());
}

TEST_F(ShellPrims, PathsThatDoNotFitTheExpansionBufferFailAsMissing) {
  const std::wstring text = L"C:\\" + std::wstring(300, L'a') + L".lnk";
  DebugCapture capture;
  ASSERT_TRUE(RunLua("local p = " + Lit(text) + "\nlong_sc = Lua_CreateShortcut(" + Lit(Helper()) +
                     ", p, 'x', 'y')\nlong_ex = Lua_Exec(p)\nlong_unpin = Lua_Exec(p, 'taskbarunpin')"));
  EXPECT_FALSE(Global("long_sc"));
  EXPECT_FALSE(Global("long_ex"));
  EXPECT_TRUE(Global("long_unpin"));
  EXPECT_TRUE(capture.Contains(L"qd Fun:Lua_CreateShortcut, Description:" + text + L" it's not exists!\r\n"));
  EXPECT_TRUE(capture.Contains(L"qd Fun:Lua_Exec, Description:" + text + L" it's not exists!\r\n"));
  EXPECT_EQ(capture.lines().size(), 2u);
}

TEST_F(ShellPrims, ExecOnAMissingFileFailsExceptForUnpinning) {
  const std::wstring missing = temp_ / L"nothing.lnk";
  DebugCapture capture;
  ASSERT_TRUE(RunLua("local m = " + Lit(missing) + R"(
    ex_unpin1 = Lua_Exec(m, "taskbarunpin")
    ex_unpin2 = Lua_Exec(m, "StartUnpin"))"));
  EXPECT_TRUE(Global("ex_unpin1"));
  EXPECT_TRUE(Global("ex_unpin2"));
  EXPECT_TRUE(capture.lines().empty());
  ASSERT_TRUE(RunLua("local m = " + Lit(missing) + R"(
    ex_plain = Lua_Exec(m)
    ex_pin = Lua_Exec(m, "taskbarpin"))"));
  EXPECT_FALSE(Global("ex_plain"));
  EXPECT_FALSE(Global("ex_pin"));
  const std::wstring line = L"qd Fun:Lua_Exec, Description:" + missing + L" it's not exists!\r\n";
  ASSERT_EQ(capture.lines().size(), 2u);
  EXPECT_EQ(capture.lines()[0], line);
  EXPECT_EQ(capture.lines()[1], line);
}

TEST_F(ShellPrims, ExecWithWaitReturnsAfterTheHiddenProgramEnded) {
  const std::wstring marker = temp_ / L"wait.txt";
  SetEnvironmentVariableW(L"ZPK_SHELL_WORD", L"expanded");
  ASSERT_TRUE(RunLua("ex_wait = Lua_Exec(" + Lit(Helper()) + ", nil, " +
                     Lit(L"1500 \"" + marker + L"\" a %ZPK_SHELL_WORD%") + ", true)"));
  EXPECT_TRUE(Global("ex_wait"));
  // Written by the helper just before it exits: present at once when the call waited.
  ASSERT_TRUE(FileExists(marker));
  EXPECT_EQ(ReadFileBytes(marker), Report(SW_HIDE, HelperDir(), "a %ZPK_SHELL_WORD%"))
      << "hidden, in the program's folder, parameters unexpanded";
}

TEST_F(ShellPrims, ExecWithoutWaitStartsShownInTheFilesFolder) {
  const std::wstring marker = temp_ / L"nowait.txt";
  ASSERT_TRUE(RunLua("ex_nowait = Lua_Exec(" + Lit(Helper()) + ", '', " + Lit(L"4000 \"" + marker + L"\" c") +
                     ")"));
  EXPECT_TRUE(Global("ex_nowait"));
  EXPECT_FALSE(FileExists(marker)) << "returned only after the program ended";
  EXPECT_EQ(WaitForReport(marker, 60), Report(SW_SHOWNORMAL, HelperDir(), "c"));
}

TEST_F(ShellPrims, ExecOfAFileTheShellCannotOpenIsFalseButPinVerbsAreTrue) {
  const std::wstring doc = temp_ / L"data.zpknoassoc";
  ASSERT_TRUE(WriteFileBytes(doc, "data"));
  ASSERT_TRUE(RunLua("local d = " + Lit(doc) + R"(
    ex_open = Lua_Exec(d, "open")
    ex_pinned = Lua_Exec(d, "Taskbarpin")
    ex_unpinned = Lua_Exec(d, "startunpin")
    ex_waited = Lua_Exec(d, nil, "", true))"));
  EXPECT_FALSE(Global("ex_open"));
  EXPECT_FALSE(Global("ex_waited")) << "nothing started, nothing waited for, no error box";
  EXPECT_TRUE(Global("ex_pinned"));
  EXPECT_TRUE(Global("ex_unpinned"));
}

TEST_F(ShellPrims, ShellExecRunsHiddenWithoutWaiting) {
  const std::wstring marker = temp_ / L"shellexec.txt";
  ASSERT_TRUE(RunLua("se_ok = Lua_ShellExec(" + Lit(Helper()) + ", " + Lit(L"300 \"" + marker + L"\" s") + ")"));
  EXPECT_TRUE(Global("se_ok"));
  const std::string report = WaitForReport(marker, 60);
  EXPECT_EQ(report.rfind("show=0 ", 0), 0u) << report;
  EXPECT_NE(report.find(" args=s"), std::string::npos) << report;
  ASSERT_TRUE(RunLua("se_missing = Lua_ShellExec(" + Lit(temp_ / L"missing.exe") + ", '')"));
  EXPECT_FALSE(Global("se_missing"));
}

// Wine's desktop shell starts the program but drops the parameters, so each start uses
// its own copy of the helper, which then reports beside itself.
TEST_F(ShellPrims, DesktopShellLaunchStartsTheProgram) {
  const std::wstring direct = temp_ / L"direct.exe";
  const std::wstring script = temp_ / L"explorer exec.exe";
  const std::wstring viaExec = temp_ / L"via_exec.exe";
  for (const std::wstring* copy : {&direct, &script, &viaExec})
    ASSERT_TRUE(CopyFileW(Helper().c_str(), copy->c_str(), FALSE));

  EXPECT_GT(DesktopShellLaunch(direct, L"unused"), 31u);
  ASSERT_TRUE(RunLua("ee_ok = Lua_ExplorerExec(" + Lit(script) + ", '')"));
  EXPECT_TRUE(Global("ee_ok"));
  ASSERT_TRUE(RunLua("ve_ok = Lua_Exec(" + Lit(viaExec) + ", nil, 'x', true, true)"));
  EXPECT_TRUE(Global("ve_ok"));
  for (const std::wstring* copy : {&direct, &script, &viaExec})
    EXPECT_EQ(WaitForReport(*copy + L".report", 60).rfind("show=", 0), 0u) << Utf16ToUtf8(*copy);
}

TEST_F(ShellPrims, SpecialFolderVariablesFeedLaterPathArguments) {
  wchar_t desktop[MAX_PATH] = {}, appdata[MAX_PATH] = {};
  ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, FALSE));
  ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, appdata, CSIDL_APPDATA, FALSE));
  SetEnvironmentVariableW(L"ZPK_T_APPDATA", nullptr);
  ASSERT_TRUE(RunLua(R"(
    csidl_desktop = Lua_RegVarByCSIDL("ZPK_T_DESKTOP", 16)
    csidl_round = Lua_RegVarByCSIDL("ZPK_T_APPDATA", "25.6"))"));
  EXPECT_TRUE(Global("csidl_desktop"));
  EXPECT_TRUE(Global("csidl_round"));
  wchar_t value[MAX_PATH] = {};
  GetEnvironmentVariableW(L"ZPK_T_DESKTOP", value, MAX_PATH);
  EXPECT_STREQ(value, desktop);
  GetEnvironmentVariableW(L"ZPK_T_APPDATA", value, MAX_PATH);
  EXPECT_STREQ(value, appdata);

  const std::wstring folder = std::wstring(appdata) + L"\\ZpkShellPrims";
  TempDir::RemoveTree(folder);
  ASSERT_TRUE(RunLua("via_var = Lua_CreateShortcut(" + Lit(Helper()) +
                     ", '%ZPK_T_APPDATA%\\\\ZpkShellPrims\\\\Ruvan.lnk', 'x', nil)"));
  EXPECT_TRUE(Global("via_var"));
  EXPECT_TRUE(FileExists(folder + L"\\Ruvan.lnk"));
  TempDir::RemoveTree(folder);
}

TEST_F(ShellPrims, UnknownFolderOrBadNameLeavesTheVariableUnset) {
  SetEnvironmentVariableW(L"ZPK_T_BAD", nullptr);
  DebugCapture capture;
  ASSERT_TRUE(RunLua(R"(
    csidl_bad = Lua_RegVarByCSIDL("ZPK_T_BAD", 126)
    csidl_noname = Lua_RegVarByCSIDL("", 16)
    csidl_eq = Lua_RegVarByCSIDL("A=B", 16))"));
  EXPECT_FALSE(Global("csidl_bad"));
  EXPECT_FALSE(Global("csidl_noname"));
  EXPECT_FALSE(Global("csidl_eq"));
  EXPECT_EQ(GetEnvironmentVariableW(L"ZPK_T_BAD", nullptr, 0), 0u);
  const auto lines = capture.lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], L"qd SHGetSpecialFolderPathW csidl=126 failed!\r\n");
  EXPECT_TRUE(capture.Contains(L"qd SetEnvironmentVariableW failed!qd err:87\r\n"));
}
