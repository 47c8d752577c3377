// The file and directory primitives under Wine: the cases that can break (locked files,
// read-only trees, the current directory, temporary and unique names, expansion).
#include <gtest/gtest.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "filetestutil.h"
#include "msgbox.h"

namespace {

bool HasLine(DebugCapture& dbg, const std::wstring& line) { return dbg.Contains(L"qd " + line); }

bool Bool(const char* global) { return Engine()->GetGlobalBoolean(global); }

// Message boxes are answered from a list; the first answer may release a holder first.
struct BoxRecord {
  std::wstring text, caption;
  UINT style;
};
std::vector<BoxRecord> g_boxes;
std::vector<int> g_answers;
FileHolder* g_releaseOnFirstBox = nullptr;

int AnswerBox(HWND, const wchar_t* text, const wchar_t* caption, UINT style) {
  g_boxes.push_back({text, caption, style});
  if (g_releaseOnFirstBox) {
    g_releaseOnFirstBox->Release();
    g_releaseOnFirstBox = nullptr;
  }
  if (g_answers.empty()) return IDCANCEL;
  int answer = g_answers.front();
  g_answers.erase(g_answers.begin());
  return answer;
}

struct BoxAnswers {
  explicit BoxAnswers(std::vector<int> answers) {
    g_boxes.clear();
    g_answers = std::move(answers);
    SetMessageBoxHook(&AnswerBox);
  }
  ~BoxAnswers() {
    SetMessageBoxHook(nullptr);
    g_releaseOnFirstBox = nullptr;
  }
};

std::wstring EnvVar(const wchar_t* name) {
  wchar_t buf[MAX_PATH * 2] = {};
  GetEnvironmentVariableW(name, buf, MAX_PATH * 2);
  return buf;
}

}  // namespace

TEST(Files, CreateDirectoryMakesEveryMissingLevel) {
  const std::wstring leaf = L"%ProgramFiles%\\zpk_files_test\\level two\\三";
  wchar_t expanded[MAX_PATH];
  ExpandEnvironmentStringsW(leaf.c_str(), expanded, MAX_PATH);
  TempDir::RemoveTree(EnvVar(L"ProgramFiles") + L"\\zpk_files_test");
  SetText("t_dir", leaf);
  {
    DebugCapture dbg;
    ASSERT_TRUE(RunLua("t_ok = Lua_CreateDirectory(t_dir)"));
    EXPECT_TRUE(Bool("t_ok"));
    EXPECT_TRUE(PathIsDirectoryW(expanded));
    EXPECT_TRUE(HasLine(dbg, std::wstring(L"Create Directory ") + expanded + L"!\r\n"));
  }
  {
    DebugCapture dbg;
    ASSERT_TRUE(RunLua("t_ok = Lua_CreateDirectory(t_dir)"));
    EXPECT_TRUE(Bool("t_ok"));
    EXPECT_TRUE(dbg.lines().empty());
  }
  TempDir::RemoveTree(EnvVar(L"ProgramFiles") + L"\\zpk_files_test");
}

TEST(Files, CopyMoveAndRenameReportWhatTheyDid) {
  TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir / L"src.txt", "payload"));
  ASSERT_TRUE(CreateDirectoryW((dir / L"tree").c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(dir / L"tree\\inner.txt", "inner"));
  ASSERT_TRUE(WriteFileBytes(dir / L"target.txt", "old target"));
  SetEnvironmentVariableW(L"ZPK_T_DIR", dir.path().c_str());
  DebugCapture dbg;
  ASSERT_TRUE(RunLua(R"(
    c1 = Lua_CopyFile('%ZPK_T_DIR%\\src.txt', '%ZPK_T_DIR%\\copy.txt')
    c2 = Lua_CopyFile('%ZPK_T_DIR%\\tree', '%ZPK_T_DIR%\\tree2')
    c3 = Lua_CopyFile('%ZPK_T_DIR%\\nothing', '%ZPK_T_DIR%\\x')
    m1 = Lua_MoveFile('%ZPK_T_DIR%\\copy.txt', '%ZPK_T_DIR%\\moved.txt')
    m2 = Lua_MoveFile('%ZPK_T_DIR%\\nothing', '%ZPK_T_DIR%\\x')
    r1 = Lua_RenameFile('%ZPK_T_DIR%\\moved.txt', '%ZPK_T_DIR%\\target.txt')
    r2 = Lua_RenameFile('%ZPK_T_DIR%\\src.txt', '%ZPK_T_DIR%\\no dir\\x.txt'))"));
  EXPECT_TRUE(Bool("c1"));
  EXPECT_TRUE(Bool("c2"));
  EXPECT_FALSE(Bool("c3"));
  EXPECT_TRUE(Bool("m1"));
  EXPECT_FALSE(Bool("m2"));
  EXPECT_TRUE(Bool("r1"));
  EXPECT_FALSE(Bool("r2"));
  EXPECT_EQ(ReadFileBytes(dir / L"tree2\\inner.txt"), "inner");
  EXPECT_EQ(ReadFileBytes(dir / L"target.txt"), "payload");
  EXPECT_FALSE(FileExists(dir / L"copy.txt"));
  EXPECT_FALSE(FileExists(dir / L"moved.txt"));
  EXPECT_TRUE(FileExists(dir / L"src.txt"));
  const std::wstring d = dir.path();
  EXPECT_TRUE(HasLine(dbg, L"Copy " + d + L"\\src.txt to " + d + L"\\copy.txt !"));
  EXPECT_TRUE(HasLine(dbg, L"Fun:Lua_CopyFile, Description:" + d + L"\\nothing it's not exists!\r\n"));
  EXPECT_TRUE(HasLine(dbg, L"Move " + d + L"\\copy.txt to " + d + L"\\moved.txt !"));
  EXPECT_TRUE(HasLine(dbg, L"Fun:Lua_MoveFile, Description:" + d + L"\\nothing it's not exists!\r\n"));
  EXPECT_TRUE(HasLine(dbg, L"MoveFile " + d + L"\\moved.txt to " + d + L"\\target.txt !"));
  EXPECT_TRUE(HasLine(dbg, L"MoveFile " + d + L"\\src.txt to " + d + L"\\no dir\\x.txt failed!"));
  SetEnvironmentVariableW(L"ZPK_T_DIR", nullptr);
}

TEST(Files, DeleteFileAsksWhenTheFileIsInUse) {
  TempDir dir;
  const std::wstring file = dir / L"busy.dll";
  ASSERT_TRUE(WriteFileBytes(file, "x"));
  SetText("t_file", file);
  SetText("t_missing", dir / L"missing.dll");
  {
    BoxAnswers answers({});
    ASSERT_TRUE(RunLua("t_ok = Lua_DeleteFile(t_missing)"));
    EXPECT_TRUE(Bool("t_ok"));
    EXPECT_TRUE(g_boxes.empty());
  }
  {  // Retry after the program let go: the second attempt succeeds.
    FileHolder holder(file, L"none");
    ASSERT_TRUE(holder.holding());
    BoxAnswers answers({IDRETRY});
    g_releaseOnFirstBox = &holder;
    ASSERT_TRUE(RunLua("t_ok = Lua_DeleteFile(t_file)"));
    EXPECT_TRUE(Bool("t_ok"));
    EXPECT_FALSE(FileExists(file));
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].caption, L"提示");
    EXPECT_EQ(g_boxes[0].style, static_cast<UINT>(MB_ICONQUESTION | MB_ABORTRETRYIGNORE));
    EXPECT_EQ(g_boxes[0].text, L"无法删除\"" + file +
                                   L"\"，可能是被占用，请关闭占用程序后点击重试或者点击忽略在卸载完成之后手动删除！");
  }
  ASSERT_TRUE(WriteFileBytes(file, "x"));
  FileHolder holder(file, L"none");
  ASSERT_TRUE(holder.holding());
  {  // Retry while still held asks again; Ignore then gives true and leaves the file.
    BoxAnswers answers({IDRETRY, IDIGNORE});
    DebugCapture dbg;
    ASSERT_TRUE(RunLua("t_ok = Lua_DeleteFile(t_file)"));
    EXPECT_TRUE(Bool("t_ok"));
    EXPECT_EQ(g_boxes.size(), 2u);
    EXPECT_TRUE(FileExists(file));
    EXPECT_TRUE(HasLine(dbg, L"Delete " + file + L" failed!\r\n"));
  }
  {  // A box that cannot be shown: false.
    BoxAnswers answers({0});
    ASSERT_TRUE(RunLua("t_ok = Lua_DeleteFile(t_file)"));
    EXPECT_FALSE(Bool("t_ok"));
  }
  {  // The silent form says nothing and fails.
    BoxAnswers answers({});
    ASSERT_TRUE(RunLua("t_ok = Lua_DeleteFileEx(t_file)"));
    EXPECT_FALSE(Bool("t_ok"));
    EXPECT_TRUE(g_boxes.empty());
  }
  holder.Release();
  ASSERT_TRUE(RunLua("t_ok = Lua_DeleteFileEx(t_file)"));
  EXPECT_TRUE(Bool("t_ok"));
  EXPECT_FALSE(FileExists(file));
}

namespace {
// dir\a\b\c with read-only files at several levels and one file to keep in use.
void MakeTree(const std::wstring& root) {
  CreateDirectoryW(root.c_str(), nullptr);
  CreateDirectoryW((root + L"\\a").c_str(), nullptr);
  CreateDirectoryW((root + L"\\a\\b").c_str(), nullptr);
  CreateDirectoryW((root + L"\\a\\b\\c").c_str(), nullptr);
  CreateDirectoryW((root + L"\\empty").c_str(), nullptr);
  for (const wchar_t* f : {L"\\top.txt", L"\\a\\one.txt", L"\\a\\b\\two.txt", L"\\a\\b\\c\\locked.dll",
                           L"\\a\\b\\c\\three.txt"})
    WriteFileBytes(root + f, "data");
  SetFileAttributesW((root + L"\\top.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesW((root + L"\\a\\b\\two.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
}
}  // namespace

TEST(Files, RecursiveRemovalClearsReadOnlyTrees) {
  TempDir dir;
  MakeTree(dir / L"tree");
  ASSERT_TRUE(WriteFileBytes(dir / L"single.txt", "x"));
  ASSERT_TRUE(WriteFileBytes(dir / L"other.txt", "x"));
  SetText("t_tree", dir / L"tree");
  SetText("t_single", dir / L"single.txt");
  SetText("t_missing", dir / L"missing");
  DebugCapture dbg;
  ASSERT_TRUE(RunLua(R"(
    n_tree = select('#', Lua_DelFileRecursive(t_tree))
    n_single = select('#', Lua_DelFileRecursive(t_single))
    missing = Lua_DelFileRecursive(t_missing))"));
  EXPECT_EQ(Engine()->GetGlobalInteger("n_tree"), 0);
  EXPECT_EQ(Engine()->GetGlobalInteger("n_single"), 0);
  EXPECT_TRUE(Bool("missing"));
  EXPECT_FALSE(FileExists(dir / L"tree"));
  EXPECT_FALSE(FileExists(dir / L"single.txt"));
  EXPECT_TRUE(FileExists(dir / L"other.txt"));
  EXPECT_TRUE(HasLine(dbg, L"ZPKScriptEngine::DeleteDirectories " + (dir / L"tree")));
  EXPECT_TRUE(HasLine(dbg, L"Path is file!"));
}

TEST(Files, RecursiveRemovalReportsLockedFilesAndKeepsTheirFolders) {
  TempDir dir;
  MakeTree(dir / L"tree");
  const std::wstring locked = dir / L"tree\\a\\b\\c\\locked.dll";
  FileHolder holder(locked, L"none");
  ASSERT_TRUE(holder.holding());
  SetText("t_tree", dir / L"tree");
  ASSERT_TRUE(RunLua(R"(
    reports = {}
    Lua_DelFileRecursiveEx(t_tree, function(p, e) reports[#reports + 1] = {p, e} end)
    n_reports = #reports
    r_path, r_code = reports[1][1], reports[1][2])"));
  EXPECT_EQ(Engine()->GetGlobalInteger("n_reports"), 1);
  EXPECT_EQ(Engine()->GetGlobalString("r_path"), locked);
  EXPECT_EQ(Engine()->GetGlobalInteger("r_code"), ERROR_SHARING_VIOLATION);
  const Tree left = Snapshot(dir / L"tree");
  std::vector<std::wstring> names;
  for (const auto& e : left) names.push_back(e.first);
  EXPECT_EQ(names, (std::vector<std::wstring>{L"a", L"a\\b", L"a\\b\\c", L"a\\b\\c\\locked.dll"}));
  // Without a callback the same removal is silent; after release everything goes.
  holder.Release();
  ASSERT_TRUE(RunLua("Lua_DelFileRecursiveEx(t_tree)"));
  EXPECT_FALSE(FileExists(dir / L"tree"));
}

// A well-known folder, a folder holding one, and the same given as a pattern: every
// deleting primitive refuses them and leaves their files; a folder inside one still goes.
TEST(Files, WellKnownFoldersAreNeverEmptied) {
  wchar_t* known = nullptr;
  ASSERT_TRUE(SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Templates, KF_FLAG_CREATE, nullptr, &known)));
  const std::wstring templates = known;
  CoTaskMemFree(known);
  const std::wstring keep = templates + L"\\zpk-keep.txt", sub = templates + L"\\zpk-sub";
  ASSERT_TRUE(WriteFileBytes(keep, "the user's"));
  CreateDirectoryW(sub.c_str(), nullptr);
  ASSERT_TRUE(WriteFileBytes(sub + L"\\x.txt", "x"));
  SetText("t_known", templates);
  SetText("t_sub", sub);
  DebugCapture dbg;
  ASSERT_TRUE(RunLua(R"(
    results = {Lua_DelFileRecursive(t_known), Lua_DelFileRecursiveEx(t_known, function() end),
               Lua_DeleteFile(t_known), Lua_DeleteFileEx(t_known), Lua_DeleteFileAfterReboot(t_known),
               Lua_DelFileRecursive(t_known .. "\\..")}
    n_false = 0
    for i = 1, 6 do if results[i] == false then n_false = n_false + 1 end end
    -- A pattern names no existing path: nothing to delete, as for any missing path.
    pattern = Lua_DelFileRecursive(t_known .. "\\*")
    n_sub = select('#', Lua_DelFileRecursive(t_sub)))"));
  EXPECT_EQ(Engine()->GetGlobalInteger("n_false"), 6);
  EXPECT_TRUE(Bool("pattern"));
  EXPECT_TRUE(FileExists(keep));
  EXPECT_EQ(Engine()->GetGlobalInteger("n_sub"), 0);
  EXPECT_FALSE(FileExists(sub));
  EXPECT_TRUE(HasLine(dbg, L"ZPKScriptEngine::DeleteDirectories: " + templates +
                               L" is a system or user folder, nothing deleted"));
  DeleteFileW(keep.c_str());
}

TEST(Files, RecursiveRemovalOfTheCurrentDirectoryStepsOut) {
  TempDir dir;
  MakeTree(dir / L"cwd");
  wchar_t before[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, before);
  ASSERT_TRUE(SetCurrentDirectoryW((dir / L"cwd\\a").c_str()));
  SetText("t_tree", dir / L"cwd");
  ASSERT_TRUE(RunLua("Lua_DelFileRecursive(t_tree)"));
  wchar_t now[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, now);
  SetCurrentDirectoryW(before);
  EXPECT_FALSE(FileExists(dir / L"cwd"));
  EXPECT_EQ(std::wstring(now), dir.path());
}

namespace {
const wchar_t kSessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPendingRenames[] = L"PendingFileRenameOperations";

// The pending renames as stored (REG_MULTI_SZ), or false when there are none.
bool ReadPendingRenames(std::wstring& value) {
  std::vector<wchar_t> buf(1 << 16);
  DWORD bytes = static_cast<DWORD>(buf.size() * sizeof(wchar_t));
  LONG rc = RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPendingRenames, RRF_RT_REG_MULTI_SZ,
                         nullptr, buf.data(), &bytes);
  if (rc != ERROR_SUCCESS) return false;
  value.assign(buf.data(), bytes / sizeof(wchar_t));
  return true;
}

void RestorePendingRenames(bool existed, const std::wstring& value) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
  if (existed)
    RegSetValueExW(key, kPendingRenames, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(value.data()),
                   static_cast<DWORD>(value.size() * sizeof(wchar_t)));
  else
    RegDeleteValueW(key, kPendingRenames);
  RegCloseKey(key);
}
}  // namespace

TEST(Files, DeleteAfterRebootIsScheduled) {
  TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir / L"later.txt", "x"));
  SetText("t_file", dir / L"later.txt");
  SetText("t_missing", dir / L"missing.txt");
  std::wstring before;
  const bool existed = ReadPendingRenames(before);
  ASSERT_TRUE(RunLua("t1 = Lua_DeleteFileAfterReboot(t_file); t2 = Lua_DeleteFileAfterReboot(t_missing)"));
  EXPECT_TRUE(Bool("t1"));
  EXPECT_TRUE(Bool("t2"));
  std::wstring after;
  ASSERT_TRUE(ReadPendingRenames(after));
  // Leave the prefix's restart list as it was for the tests that follow.
  RestorePendingRenames(existed, before);
  EXPECT_NE(after.find(dir / L"later.txt"), std::wstring::npos);
  EXPECT_EQ(after.find(L"missing.txt"), std::wstring::npos);
}

TEST(Files, TemporaryAndUniqueNames) {
  TempDir dir;
  SetText("t_dir", dir.path());
  ASSERT_TRUE(WriteFileBytes(dir / L"setup.exe", "x"));
  SetText("t_exe", dir / L"setup.exe");
  ASSERT_TRUE(RunLua(R"(
    tmp1 = Lua_GetTempFileName(t_dir, 'zpk')
    tmp2 = Lua_GetTempFileName(t_dir, 'abcdef')
    tmp3 = Lua_GetTempFileName(t_dir .. '\\missing', 'zpk')
    tmp3_nil = tmp3 == nil
    uniq = Lua_PathYetAnotherMakeUniqueName(t_exe)
    uniq_long = Lua_PathYetAnotherMakeUniqueName(string.rep('a', 300)))"));
  const std::wstring tmp1 = Engine()->GetGlobalString("tmp1");
  const std::wstring tmp2 = Engine()->GetGlobalString("tmp2");
  // The unique part is the number in hexadecimal without leading zeros: one to four digits.
  const size_t digits = tmp1.size() - (dir.path().size() + 1 + 3 + 4);
  ASSERT_TRUE(digits >= 1 && digits <= 4) << "temporary name " << tmp1.size() << " characters long";
  EXPECT_EQ(tmp1.substr(0, dir.path().size() + 4), dir.path() + L"\\zpk");
  EXPECT_EQ(tmp1.substr(tmp1.size() - 4), L".tmp");
  EXPECT_EQ(tmp1.find_first_not_of(L"0123456789ABCDEFabcdef", dir.path().size() + 4), tmp1.size() - 4);
  EXPECT_TRUE(FileExists(tmp1));
  EXPECT_EQ(ReadFileBytes(tmp1), "");
  EXPECT_EQ(tmp2.substr(0, dir.path().size() + 4), dir.path() + L"\\abc");
  EXPECT_NE(tmp2.substr(dir.path().size() + 4, 3), L"def");
  EXPECT_TRUE(Bool("tmp3_nil"));
  const std::wstring uniq = Engine()->GetGlobalString("uniq");
  EXPECT_EQ(uniq.substr(0, dir.path().size() + 1), dir.path() + L"\\");
  EXPECT_NE(uniq, dir / L"setup.exe");
  EXPECT_NE(uniq.find(L"setup"), std::wstring::npos);
  EXPECT_FALSE(FileExists(uniq));
  EXPECT_EQ(Engine()->GetGlobalString("uniq_long"), L"");
}

TEST(Files, ExpansionRulesAndTheAppDataAnswer) {
  ASSERT_TRUE(RunLua(R"(
    e1 = Lua_ExpandEnv('%TMP%')
    e2 = Lua_ExpandEnv('no references here')
    e3 = Lua_ExpandEnv('ignored', '%TMP%\\x')
    e4 = Lua_ExpandEnv(string.rep('b', 300))
    p1 = Lua_PathFileExists('%TMP%')
    p2 = Lua_PathFileExists(Lua_ExpandEnv('%TMP%'))
    tp = Lua_GetTempPath())"));
  const std::wstring tmp = EnvVar(L"TMP");
  ASSERT_FALSE(tmp.empty());
  EXPECT_EQ(Engine()->GetGlobalString("e1"), tmp);
  EXPECT_EQ(Engine()->GetGlobalString("e2"), L"no references here");
  EXPECT_EQ(Engine()->GetGlobalString("e3"), tmp + L"\\x");
  EXPECT_EQ(Engine()->GetGlobalString("e4"), L"");
  EXPECT_FALSE(Bool("p1"));
  EXPECT_TRUE(Bool("p2"));
  wchar_t local[MAX_PATH];
  ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, local, CSIDL_LOCAL_APPDATA, FALSE));
  EXPECT_EQ(Engine()->GetGlobalString("tp"), std::wstring(local));
  EXPECT_NE(std::wstring(local).back(), L'\\');
}

// A path whose expansion does not fit is never acted on, not even by the deleting
// primitives (for which a missing path would count as success).
TEST(Files, PathsThatDoNotFitAreRefused) {
  TempDir dir;
  SetEnvironmentVariableW(L"ZPK_T_LONG", std::wstring(300, L'a').c_str());
  SetText("t_dir", dir.path());
  DebugCapture dbg;
  ASSERT_TRUE(RunLua(R"(
    local long = '%ZPK_T_LONG%'
    results = {Lua_CreateDirectory(long), Lua_CopyFile(long, t_dir), Lua_MoveFile(long, t_dir),
               Lua_RenameFile(long, t_dir), Lua_DeleteFile(long), Lua_DeleteFileEx(long),
               Lua_DelFileRecursive(long), Lua_DelFileRecursiveEx(long), Lua_DeleteFileAfterReboot(long),
               Lua_GetTempFileName(long, 'x') ~= nil}
    n_false = 0
    for i = 1, 10 do if results[i] == false then n_false = n_false + 1 end end)"));
  EXPECT_EQ(Engine()->GetGlobalInteger("n_false"), 10);
  EXPECT_TRUE(HasLine(dbg, L"Fun:Lua_DeleteFile, Description:%ZPK_T_LONG% it's not exists!\r\n"));
  EXPECT_TRUE(Snapshot(dir.path()).empty());
  SetEnvironmentVariableW(L"ZPK_T_LONG", nullptr);
}
