// Lua_UnCompress7z and Lua_ExtractResource under Wine, on archives that 7zz made at build
// time (tests/unit/archives/make_archives.sh): whole trees, the payload resource, damaged
// and hostile archives, locked files and the script callbacks.
#include <gtest/gtest.h>
#include <lua/lua.hpp>

#include <string>
#include <vector>

#include "archive7z.h"
#include "filetestutil.h"

namespace {

std::wstring ArchiveDir() { return ModuleDir() + L"\\..\\archives"; }
std::wstring Archive(const std::wstring& name) { return ArchiveDir() + L"\\" + name; }
std::wstring ReferenceTree() { return ArchiveDir() + L"\\tree"; }

// Lua_UnCompress7z(src, dst, true) on a file; the result as a boolean.
bool UnpackFile(const std::wstring& archive, const std::wstring& dest) {
  SetText("t_src", archive);
  SetText("t_dst", dest);
  EXPECT_TRUE(RunLua("t_ok = Lua_UnCompress7z(t_src, t_dst, true)"));
  return Engine()->GetGlobalBoolean("t_ok");
}

bool UnpackResource(const std::string& nameExpr, const std::wstring& dest) {
  SetText("t_dst", dest);
  EXPECT_TRUE(RunLua("t_ok = Lua_UnCompress7z(" + nameExpr + ", t_dst)"));
  return Engine()->GetGlobalBoolean("t_ok");
}

bool HasLine(DebugCapture& dbg, const std::wstring& line) { return dbg.Contains(L"qd " + line); }

}  // namespace

TEST(Extract, ArchivesUnpackToByteIdenticalTrees) {
  const Tree reference = Snapshot(ReferenceTree());
  ASSERT_GT(reference.size(), 15u);
  ASSERT_TRUE(reference.at(L"docs\\readonly.txt").readOnly);
  ASSERT_TRUE(reference.at(L"empty").dir);
  ASSERT_TRUE(reference.count(L"docs\\深层\\第三层\\说明.txt"));
  for (const wchar_t* name : {L"solid_lzma2.7z", L"nonsolid_lzma.7z", L"bcj2.7z"}) {
    SCOPED_TRACE(Utf8(name));
    TempDir dest;
    DebugCapture dbg;
    ASSERT_TRUE(UnpackFile(Archive(name), dest.path()));
    EXPECT_TRUE(HasLine(dbg, L"UnCompress " + Archive(name) + L" to " + dest.path() + L" .\r\n"));
    EXPECT_TRUE(HasLine(dbg, L"UnCompress successful.\r\n"));
    const Tree got = Snapshot(dest.path());
    EXPECT_EQ(got.size(), reference.size());
    for (const auto& entry : reference) {
      SCOPED_TRACE(Utf8(entry.first));
      auto it = got.find(entry.first);
      ASSERT_NE(it, got.end());
      EXPECT_EQ(it->second.dir, entry.second.dir);
      EXPECT_TRUE(it->second.bytes == entry.second.bytes);
      EXPECT_EQ(it->second.readOnly, entry.second.readOnly);
      EXPECT_EQ(it->second.modified, entry.second.modified);
    }
  }
}

// The payload keeps its exchanged signature in the loaded image; every extraction, and
// every file written by Lua_ExtractResource, sees a proper archive.
TEST(Extract, PayloadResourceUnpacksEveryTime) {
  const Tree reference = Snapshot(ReferenceTree());
  TempDir first, second, third;
  DebugCapture dbg;
  ASSERT_TRUE(UnpackResource("'App.7z'", first.path()));
  EXPECT_TRUE(HasLine(dbg, L"UnCompress App.7z to " + first.path() + L" .\r\n"));
  ASSERT_TRUE(UnpackResource("'App.7z'", second.path()));
  EXPECT_TRUE(Snapshot(first.path()) == reference);
  EXPECT_TRUE(Snapshot(second.path()) == reference);

  TempDir out;
  for (int round = 0; round < 2; ++round) {
    SetText("t_file", out / L"app.7z");
    ASSERT_TRUE(RunLua("t_ok = Lua_ExtractResource('_7Z', 'APP.7Z', t_file)"));
    ASSERT_TRUE(Engine()->GetGlobalBoolean("t_ok"));
    const std::string bytes = ReadFileBytes(out / L"app.7z");
    ASSERT_GT(bytes.size(), 6u);
    EXPECT_EQ(bytes.substr(0, 6), std::string("7z\xBC\xAF\x27\x1C", 6));
  }
  ASSERT_TRUE(UnpackFile(out / L"app.7z", third.path()));
  EXPECT_TRUE(Snapshot(third.path()) == reference);

  // By numeric identifier, and as a numeric string, after all of the above.
  TempDir byId, byText;
  ASSERT_TRUE(UnpackResource("7", byId.path()));
  ASSERT_TRUE(UnpackResource("'7'", byText.path()));
  EXPECT_TRUE(Snapshot(byId.path()) == reference);
  EXPECT_TRUE(Snapshot(byText.path()) == reference);

  // An exchanged archive on disk is not an archive: files get no exchange.
  TempDir raw;
  EXPECT_FALSE(UnpackFile(Archive(L"app7z.bin"), raw.path()));
  EXPECT_TRUE(Snapshot(raw.path()).empty());
}

TEST(Extract, ExtractResourceWritesOtherTypesUnchangedAndReportsFailures) {
  TempDir out;
  const std::string original = ReadFileBytes(Archive(L"locked.7z"));
  SetText("t_a", out / L"a.bin");
  SetText("t_b", out / L"b.bin");
  SetText("t_bad", out / L"no such dir\\c.bin");
  DebugCapture dbg;
  ASSERT_TRUE(RunLua(R"(
    t1 = Lua_ExtractResource('BLOB', 'locked', t_a)
    t2 = Lua_ExtractResource('BLOB', 9, t_b)
    t3 = Lua_ExtractResource('BLOB', 'NOPE', t_a)
    t4 = Lua_ExtractResource('BLOB', 'LOCKED', t_bad))"));
  EXPECT_TRUE(Engine()->GetGlobalBoolean("t1"));
  EXPECT_TRUE(Engine()->GetGlobalBoolean("t2"));
  EXPECT_FALSE(Engine()->GetGlobalBoolean("t3"));
  EXPECT_FALSE(Engine()->GetGlobalBoolean("t4"));
  EXPECT_TRUE(ReadFileBytes(out / L"a.bin") == original);
  EXPECT_TRUE(ReadFileBytes(out / L"b.bin") == original);
  EXPECT_TRUE(HasLine(dbg, L"Fun:Lua_ExtractResource ,LoadResource failed!\r\n"));
  EXPECT_TRUE(HasLine(dbg, L"Fun:Lua_ExtractResource ,CreateFileW " + (out / L"no such dir\\c.bin") +
                               L" failed!\r\n"));
}

// Damaged archives: every flipped byte of a small archive, chosen bytes of a large solid
// one, and truncations. None may crash; a damaged archive either fails or (for the few
// bytes nothing checks, such as the minor version) unpacks exactly the original.
TEST(Extract, DamagedArchivesFailWithoutCrashing) {
  TempDir work;
  const std::string small = ReadFileBytes(Archive(L"locked.7z"));
  ASSERT_FALSE(small.empty());
  TempDir good;
  ASSERT_TRUE(UnpackFile(Archive(L"locked.7z"), good.path()));
  const Tree goodTree = Snapshot(good.path());
  int failures = 0;
  for (size_t pos = 0; pos < small.size(); ++pos) {
    std::string damaged = small;
    damaged[pos] = static_cast<char>(damaged[pos] ^ 0x5A);
    ASSERT_TRUE(WriteFileBytes(work / L"damaged.7z", damaged));
    TempDir dest;
    if (UnpackFile(work / L"damaged.7z", dest.path())) {
      EXPECT_TRUE(Snapshot(dest.path()) == goodTree) << "flip at " << pos;
    } else {
      ++failures;
    }
  }
  EXPECT_GT(failures, static_cast<int>(small.size()) - 8);

  const std::string large = ReadFileBytes(Archive(L"solid_lzma2.7z"));
  const size_t picks[] = {0, 3, 8, 13, 20, 30, 32 + 1000, large.size() / 2, large.size() - 40, large.size() - 1};
  for (size_t pos : picks) {
    std::string damaged = large;
    damaged[pos] = static_cast<char>(damaged[pos] ^ 0x01);
    ASSERT_TRUE(WriteFileBytes(work / L"damaged.7z", damaged));
    TempDir dest;
    EXPECT_FALSE(UnpackFile(work / L"damaged.7z", dest.path())) << "flip at " << pos;
  }
  for (size_t len : {size_t(0), size_t(6), size_t(31), size_t(32), large.size() / 2, large.size() - 1}) {
    ASSERT_TRUE(WriteFileBytes(work / L"cut.7z", large.substr(0, len)));
    TempDir dest;
    EXPECT_FALSE(UnpackFile(work / L"cut.7z", dest.path())) << "cut at " << len;
  }
}

// Entry names that lead outside the destination stop the extraction before anything
// is written, inside or outside.
TEST(Extract, HostileEntryNamesWriteNothing) {
  const wchar_t* probes[] = {L"C:\\zpk_abs_escape.txt", L"\\zpk_abs_escape.txt", L"C:\\zpk_drive_escape.txt",
                             L"C:\\zpk_reldrive.txt", L"C:zpk_reldrive.txt", L"zpk_reldrive.txt"};
  for (const wchar_t* name : {L"dotdot", L"dotdot_inner", L"backslash", L"absolute", L"drive", L"drive_relative"}) {
    SCOPED_TRACE(Utf8(name));
    TempDir outer;
    ASSERT_TRUE(CreateDirectoryW((outer / L"dest").c_str(), nullptr));
    DebugCapture dbg;
    EXPECT_FALSE(UnpackFile(Archive(std::wstring(L"hostile_") + name + L".7z"), outer / L"dest"));
    const Tree after = Snapshot(outer.path());
    ASSERT_EQ(after.size(), 1u);
    EXPECT_TRUE(after.begin()->second.dir);
    for (const wchar_t* probe : probes) EXPECT_FALSE(FileExists(probe)) << Utf8(probe);
    bool named = false;
    for (const auto& line : dbg.lines()) named = named || line.find(L"would leave") != std::wstring::npos;
    EXPECT_TRUE(named);
    EXPECT_TRUE(HasLine(dbg, L"Fun:Lua_UnCompress7z, Description: UnCompress failed.!\r\n"));
  }
}

class LockedFile : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WriteFileBytes(dest_ / L"b_locked.txt", "old version\n"));
    SetText("t_src", Archive(L"locked.7z"));
    SetText("t_dst", dest_.path());
    SetText("t_locked", dest_ / L"b_locked.txt");
  }
  std::string Locked() { return ReadFileBytes(dest_ / L"b_locked.txt"); }
  bool Has(const wchar_t* name) { return FileExists(dest_ / name); }
  TempDir dest_;
};

TEST_F(LockedFile, ErrorCallbackGetsPathAndCodeAndTwoAborts) {
  FileHolder holder(dest_ / L"b_locked.txt", L"none");
  ASSERT_TRUE(holder.holding());
  ASSERT_TRUE(RunLua(R"(
    calls, seen, code = 0, nil, nil
    t_ok = Lua_UnCompress7z(t_src, t_dst, true, nil, function(p, e)
      calls = calls + 1; seen = p; code = e; return 2 end))"));
  EXPECT_FALSE(Engine()->GetGlobalBoolean("t_ok"));
  EXPECT_EQ(Engine()->GetGlobalInteger("calls"), 1);
  EXPECT_EQ(Engine()->GetGlobalString("seen"), dest_ / L"b_locked.txt");
  EXPECT_EQ(Engine()->GetGlobalInteger("code"), ERROR_SHARING_VIOLATION);
  EXPECT_TRUE(Has(L"a_first.txt"));
  EXPECT_FALSE(Has(L"c_last.txt"));
}

TEST_F(LockedFile, NoErrorCallbackFails) {
  FileHolder holder(dest_ / L"b_locked.txt", L"none");
  ASSERT_TRUE(holder.holding());
  ASSERT_TRUE(RunLua("t_ok = Lua_UnCompress7z(t_src, t_dst, true)"));
  EXPECT_FALSE(Engine()->GetGlobalBoolean("t_ok"));
  EXPECT_FALSE(Has(L"c_last.txt"));
}

TEST_F(LockedFile, MovingTheFileAsideAndRetryingCompletes) {
  // Held as a running program's image is: no read or write sharing, renaming allowed.
  FileHolder holder(dest_ / L"b_locked.txt", L"delete");
  ASSERT_TRUE(holder.holding());
  ASSERT_TRUE(RunLua(R"(
    calls = 0
    t_ok = Lua_UnCompress7z(t_src, t_dst, true, nil, function(p, e)
      calls = calls + 1
      assert(Lua_RenameFile(p, p .. ".old"), "moved aside")
      return 0 end))"));
  EXPECT_TRUE(Engine()->GetGlobalBoolean("t_ok"));
  EXPECT_EQ(Engine()->GetGlobalInteger("calls"), 1);
  EXPECT_EQ(Locked(), "new content of the locked file\n");
  EXPECT_TRUE(Has(L"b_locked.txt.old"));
  EXPECT_TRUE(Has(L"c_last.txt"));
}

FileHolder* g_holder = nullptr;
int ReleaseHolder(lua_State*) {
  if (g_holder) g_holder->Release();
  return 0;
}

TEST_F(LockedFile, CallbackReturningNothingRetriesOnce) {
  FileHolder holder(dest_ / L"b_locked.txt", L"none");
  ASSERT_TRUE(holder.holding());
  g_holder = &holder;
  lua_register(Engine()->State(), "release_holder", &ReleaseHolder);
  ASSERT_TRUE(RunLua(R"(
    calls = 0
    t_ok = Lua_UnCompress7z(t_src, t_dst, true, nil, function(p, e)
      calls = calls + 1; release_holder() end))"));
  g_holder = nullptr;
  EXPECT_TRUE(Engine()->GetGlobalBoolean("t_ok"));
  EXPECT_EQ(Engine()->GetGlobalInteger("calls"), 1);
  EXPECT_EQ(Locked(), "new content of the locked file\n");
}

TEST_F(LockedFile, RetryIsMadeExactlyOnce) {
  FileHolder holder(dest_ / L"b_locked.txt", L"none");
  ASSERT_TRUE(holder.holding());
  ASSERT_TRUE(RunLua(R"(
    calls = 0
    t_ok = Lua_UnCompress7z(t_src, t_dst, true, nil, function() calls = calls + 1; return 0 end))"));
  EXPECT_FALSE(Engine()->GetGlobalBoolean("t_ok"));
  EXPECT_EQ(Engine()->GetGlobalInteger("calls"), 1);
  EXPECT_FALSE(Has(L"c_last.txt"));
}

TEST_F(LockedFile, SkipLeavesTheFileAndGoesOn) {
  FileHolder holder(dest_ / L"b_locked.txt", L"none");
  ASSERT_TRUE(holder.holding());
  ASSERT_TRUE(RunLua("t_ok = Lua_UnCompress7z(t_src, t_dst, true, nil, function() return 1 end)"));
  EXPECT_TRUE(Engine()->GetGlobalBoolean("t_ok"));
  EXPECT_TRUE(Has(L"c_last.txt"));
  holder.Release();
  EXPECT_EQ(Locked(), "old version\n");
}

TEST_F(LockedFile, ErrorInsideCallbackGoesToTheHandlerAndAborts) {
  FileHolder holder(dest_ / L"b_locked.txt", L"none");
  ASSERT_TRUE(holder.holding());
  ASSERT_FALSE(RunLua("t_ok = Lua_UnCompress7z(t_src, t_dst, true, nil, function() error('boom') end)"));
  EXPECT_NE(LastScriptError().find(L"boom"), std::wstring::npos);
  EXPECT_FALSE(Engine()->GetGlobalBoolean("t_ok"));
  EXPECT_FALSE(Has(L"c_last.txt"));
}

// Callbacks are taken from the end of the argument list.
TEST(Extract, CallbacksComeFromTheEndOfTheArguments) {
  TempDir a, b, c;
  SetText("t_src", Archive(L"locked.7z"));
  SetText("t_a", a.path());
  SetText("t_b", b.path());
  SetText("t_c", c.path());
  ASSERT_TRUE(RunLua(R"(
    files = {}
    local function f(p) files[#files + 1] = p end
    r1 = Lua_UnCompress7z(t_src, t_a, true, f)
    n1 = #files
    r2 = Lua_UnCompress7z(t_src, t_b, true, f, nil)
    n2 = #files - n1
    r3 = Lua_UnCompress7z(t_src, t_c, true, f, function() return 2 end)
    n3 = #files - n1 - n2
    first, last = files[1], files[3])"));
  EXPECT_TRUE(Engine()->GetGlobalBoolean("r1"));
  EXPECT_TRUE(Engine()->GetGlobalBoolean("r2"));
  EXPECT_TRUE(Engine()->GetGlobalBoolean("r3"));
  EXPECT_EQ(Engine()->GetGlobalInteger("n1"), 3);
  EXPECT_EQ(Engine()->GetGlobalInteger("n2"), 0);
  EXPECT_EQ(Engine()->GetGlobalInteger("n3"), 3);
  EXPECT_EQ(Engine()->GetGlobalString("first"), a / L"a_first.txt");
  EXPECT_EQ(Engine()->GetGlobalString("last"), a / L"c_last.txt");
}

TEST(Extract, MissingPlacesAndWrongArguments) {
  TempDir dir;
  SetText("t_src", Archive(L"locked.7z"));
  SetText("t_dir", dir.path());
  SetText("t_nodir", dir / L"missing");
  SetText("t_long", L"%ZPK_T_LONG%\\x");
  SetEnvironmentVariableW(L"ZPK_T_LONG", std::wstring(300, L'a').c_str());
  DebugCapture dbg;
  ASSERT_TRUE(RunLua(R"(
    m1 = Lua_UnCompress7z(t_src, t_nodir, true)
    m2 = Lua_UnCompress7z(t_dir .. '\\nope.7z', t_dir, true)
    m3 = Lua_UnCompress7z(t_src, t_dir, 1)
    m4 = Lua_UnCompress7z(t_src, t_long, true)
    m5 = Lua_UnCompress7z(t_long, t_dir, true)
    m6 = Lua_UnCompress7z(t_src)
    m7 = Lua_UnCompress7z('NOPE.7Z', t_dir))"));
  for (const char* g : {"m1", "m2", "m3", "m4", "m5", "m6", "m7"})
    EXPECT_FALSE(Engine()->GetGlobalBoolean(g)) << g;
  EXPECT_TRUE(Snapshot(dir.path()).empty());
  EXPECT_TRUE(HasLine(dbg, L"Fun:Lua_UnCompress7z, Description:" + (dir / L"missing") + L" it's not exists!\r\n"));
  EXPECT_TRUE(HasLine(dbg, L"Fun:Lua_UnCompress7z, Description:" + (dir / L"nope.7z") + L" it's not exists!\r\n"));
  EXPECT_TRUE(HasLine(dbg, L"Fun:Lua_UnCompress7z, Description:%ZPK_T_LONG%\\x it's not exists!\r\n"));
  EXPECT_TRUE(HasLine(dbg, L"Fun:Lua_UnCompress7z ,LoadResource failed!\r\n"));
  SetEnvironmentVariableW(L"ZPK_T_LONG", nullptr);
}

TEST(Extract, ReadOnlyFilesOfAnEarlierInstallAreReplaced) {
  TempDir dest;
  ASSERT_TRUE(UnpackFile(Archive(L"locked.7z"), dest.path()));
  ASSERT_TRUE(WriteFileBytes(dest / L"a_first.txt", "stale"));
  SetFileAttributesW((dest / L"a_first.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(UnpackFile(Archive(L"locked.7z"), dest.path()));
  EXPECT_EQ(ReadFileBytes(dest / L"a_first.txt"), "first\n");
  // And a read-only file from the archive can itself be extracted over again.
  TempDir tree;
  ASSERT_TRUE(UnpackFile(Archive(L"nonsolid_lzma.7z"), tree.path()));
  ASSERT_TRUE(UnpackFile(Archive(L"nonsolid_lzma.7z"), tree.path()));
  EXPECT_TRUE(Snapshot(tree.path()) == Snapshot(ReferenceTree()));
}

// The memory source the payload is read through.
TEST(MemorySource, ReadsSeeksAndUndoesTheExchange) {
  std::string bytes(40000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  archive7z::MemorySource src;
  archive7z::InitMemorySource(src, bytes.data(), static_cast<uint32_t>(bytes.size()), true);
  std::vector<char> buf(1 << 14);
  size_t n = 3;
  ASSERT_EQ(src.vt.Read(&src.vt, buf.data(), &n), SZ_OK);
  ASSERT_EQ(n, 3u);
  EXPECT_EQ(buf[0], bytes[1]);
  EXPECT_EQ(buf[1], bytes[0]);
  EXPECT_EQ(buf[2], bytes[2]);
  EXPECT_EQ(bytes[0], '\0');  // the caller's bytes stay as they were
  Int64 pos = 1;
  ASSERT_EQ(src.vt.Seek(&src.vt, &pos, SZ_SEEK_SET), SZ_OK);
  n = 1;
  ASSERT_EQ(src.vt.Read(&src.vt, buf.data(), &n), SZ_OK);
  EXPECT_EQ(buf[0], bytes[0]);
  pos = static_cast<Int64>(bytes.size()) - 100;
  ASSERT_EQ(src.vt.Seek(&src.vt, &pos, SZ_SEEK_SET), SZ_OK);
  n = buf.size();
  ASSERT_EQ(src.vt.Read(&src.vt, buf.data(), &n), SZ_OK);
  EXPECT_EQ(n, 100u);
  EXPECT_EQ(std::string(buf.data(), n), bytes.substr(bytes.size() - 100));
  n = buf.size();
  ASSERT_EQ(src.vt.Read(&src.vt, buf.data(), &n), SZ_OK);
  EXPECT_EQ(n, 0u);
  pos = 0;
  ASSERT_EQ(src.vt.Seek(&src.vt, &pos, SZ_SEEK_END), SZ_OK);
  EXPECT_EQ(pos, static_cast<Int64>(bytes.size()));
  pos = 0;
  EXPECT_EQ(src.vt.Seek(&src.vt, &pos, static_cast<ESzSeek>(7)), 87);
}

TEST(EntryNames, OnlyNamesInsideTheDestinationPass) {
  for (const char16_t* ok : {u"a.txt", u"dir/sub/file.bin", u"深层/说明.txt", u"a..b", u"..a", u"console/x", u"com10"})
    EXPECT_TRUE(archive7z::IsSafeEntryName(ok));
  for (const char16_t* bad : {u"", u"../x", u"a/../../x", u"a\\..\\x", u"/etc/x", u"\\x", u"C:/x", u"C:x",
                              u"a/b:stream", u"...", u"a/.. /x", u"./x", u"CON", u"nul.txt", u"a/LPT1.log",
                              u"\\\\server\\share\\x", u"a/\x01/b"})
    EXPECT_FALSE(archive7z::IsSafeEntryName(bad));
}
