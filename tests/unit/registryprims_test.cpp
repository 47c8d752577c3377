// The registry primitives against the real registry: what they store (types and bytes),
// the lines they write, the registry view they work in and what they refuse to delete.
#include <gtest/gtest.h>
#include <lua/lua.hpp>

#include <string>
#include <vector>

#include "primitives/registry.h"
#include "scriptengine.h"
#include "testutil.h"
#include "textconv.h"

namespace {

bool RunLua(const std::string& code) {
  return ZPKScriptEngine::Instance()->DoBuffer(code.data(), code.size(), "=registryprims");
}

bool Is64BitProcess() { return sizeof(void*) == 8; }

// A key of its own per test program and build, under HKCU\Software.
std::wstring TestKey(const wchar_t* leaf) {
  return std::wstring(L"Software\\ZpkTest\\regprims_") + (Is64BitProcess() ? L"x64\\" : L"x86\\") + leaf;
}

struct RawValue {
  LONG status = ERROR_FILE_NOT_FOUND;
  DWORD type = REG_NONE;
  std::vector<BYTE> bytes;
};

RawValue ReadRaw(HKEY root, const std::wstring& subkey, const std::wstring& value, REGSAM view = 0) {
  RawValue out;
  HKEY key = nullptr;
  out.status = RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ | view, &key);
  if (out.status != ERROR_SUCCESS) return out;
  DWORD size = 0;
  out.status = RegQueryValueExW(key, value.c_str(), nullptr, &out.type, nullptr, &size);
  if (out.status == ERROR_SUCCESS) {
    out.bytes.resize(size);
    out.status = RegQueryValueExW(key, value.c_str(), nullptr, &out.type, out.bytes.data(), &size);
    out.bytes.resize(size);
  }
  RegCloseKey(key);
  return out;
}

bool KeyExists(HKEY root, const std::wstring& subkey, REGSAM view = 0) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

void CreateKey(HKEY root, const std::wstring& subkey, REGSAM view = 0) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

std::vector<BYTE> Utf16Bytes(const std::wstring& text) {
  const BYTE* p = reinterpret_cast<const BYTE*>(text.c_str());
  return std::vector<BYTE>(p, p + (text.size() + 1) * sizeof(wchar_t));
}

// Lua string literal of a UTF-16 text (long brackets, no escapes needed for paths).
std::string Lit(const std::wstring& text) { return "[==[" + Utf16ToUtf8(text) + "]==]"; }

class RegistryPrims : public ::testing::Test {
 protected:
  void SetUp() override { regprim::DeleteKeyTree(HKEY_CURRENT_USER, TestKey(L"")); }
  void TearDown() override { regprim::DeleteKeyTree(HKEY_CURRENT_USER, TestKey(L"")); }
};

}  // namespace

TEST(RegistryHex, PairsInOrderAndAnOddLastDigitAlone) {
  EXPECT_EQ(regprim::ParseHexBytes(L"0A1b2C"), (std::vector<BYTE>{0x0A, 0x1B, 0x2C}));
  EXPECT_EQ(regprim::ParseHexBytes(L"ABC"), (std::vector<BYTE>{0xAB, 0x0C}));
  EXPECT_EQ(regprim::ParseHexBytes(L"f"), (std::vector<BYTE>{0x0F}));
  EXPECT_TRUE(regprim::ParseHexBytes(L"").empty());
  // A pair's number stops at the first character that is not a digit.
  EXPECT_EQ(regprim::ParseHexBytes(L"1zz2FF"), (std::vector<BYTE>{0x01, 0x00, 0xFF}));
}

TEST(RegistryRoots, OnlyTheFiveShortNamesExactly) {
  EXPECT_EQ(regprim::RootByName(L"HKCR"), HKEY_CLASSES_ROOT);
  EXPECT_EQ(regprim::RootByName(L"HKCU"), HKEY_CURRENT_USER);
  EXPECT_EQ(regprim::RootByName(L"HKLM"), HKEY_LOCAL_MACHINE);
  EXPECT_EQ(regprim::RootByName(L"HKU"), HKEY_USERS);
  EXPECT_EQ(regprim::RootByName(L"HKCC"), HKEY_CURRENT_CONFIG);
  for (const wchar_t* name : {L"hkcu", L"HKEY_CURRENT_USER", L"HKCU ", L""})
    EXPECT_EQ(regprim::RootByName(name), nullptr) << Utf16ToUtf8(name);
}

TEST_F(RegistryPrims, StoresEachTypeWithItsExactBytes) {
  const std::wstring key = TestKey(L"types");
  ASSERT_TRUE(RunLua("local k = " + Lit(key) + R"(
    assert(Lua_RegAdd("HKCU", k, "sz", "REG_SZ", "安装 C:\\x", true) == true)
    assert(Lua_RegAdd("HKCU", k, "expand", "REG_EXPAND_SZ", "%SystemRoot%\\zpk", true) == true)
    assert(Lua_RegAdd("HKCU", k, "dword", "REG_DWORD", 0x12345678, true) == true)
    assert(Lua_RegAdd("HKCU", k, "max", "REG_DWORD", 0xFFFFFFFF, true) == true)
    assert(Lua_RegAdd("HKCU", k, "minus", "REG_DWORD", -1, true) == true)
    assert(Lua_RegAdd("HKCU", k, "bin6", "REG_BINARY", "DEADBE", true) == true)
    assert(Lua_RegAdd("HKCU", k, "bin3", "REG_BINARY", "a1b", true) == true)
    assert(Lua_RegAdd("HKCU", k, "bin0", "REG_BINARY", "", true) == true)
    assert(Lua_RegAdd("HKCU", k, "empty", "REG_SZ", "", true) == true))"));

  RawValue v = ReadRaw(HKEY_CURRENT_USER, key, L"sz");
  EXPECT_EQ(v.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(v.bytes, Utf16Bytes(L"安装 C:\\x"));  // (characters + 1) * 2 bytes
  v = ReadRaw(HKEY_CURRENT_USER, key, L"expand");
  EXPECT_EQ(v.type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(v.bytes, Utf16Bytes(L"%SystemRoot%\\zpk"));
  v = ReadRaw(HKEY_CURRENT_USER, key, L"dword");
  EXPECT_EQ(v.type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(v.bytes, (std::vector<BYTE>{0x78, 0x56, 0x34, 0x12}));
  EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, key, L"max").bytes, (std::vector<BYTE>{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, key, L"minus").bytes, (std::vector<BYTE>{0xFF, 0xFF, 0xFF, 0xFF}));
  v = ReadRaw(HKEY_CURRENT_USER, key, L"bin6");
  EXPECT_EQ(v.type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(v.bytes, (std::vector<BYTE>{0xDE, 0xAD, 0xBE}));
  EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, key, L"bin3").bytes, (std::vector<BYTE>{0xA1, 0x0B}));
  v = ReadRaw(HKEY_CURRENT_USER, key, L"bin0");
  EXPECT_EQ(v.status, ERROR_SUCCESS);
  EXPECT_EQ(v.type, static_cast<DWORD>(REG_BINARY));
  EXPECT_TRUE(v.bytes.empty());
  EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, key, L"empty").bytes, Utf16Bytes(L""));
}

TEST_F(RegistryPrims, LongStringDataIsStoredWholeExpandedOrNot) {
  const std::wstring key = TestKey(L"long");
  SetEnvironmentVariableW(L"ZPK_REG_LONG", L"C:\\Long Folder");
  const std::wstring tail(3000, L'x');
  ASSERT_TRUE(RunLua("local k = " + Lit(key) + "\nlocal tail = " + Lit(tail) + R"(
    Lua_RegAdd("HKCU", k, "plain", "REG_SZ", tail, true)
    Lua_RegAdd("HKCU", k, "ref", "REG_SZ", "%ZPK_REG_LONG%\\" .. tail, true)
    reg_long_ref = Lua_RegQuery("HKCU", k, "ref"))"));
  EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, key, L"plain").bytes, Utf16Bytes(tail));
  EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, key, L"ref").bytes, Utf16Bytes(L"C:\\Long Folder\\" + tail));
  EXPECT_EQ(ZPKScriptEngine::Instance()->GetGlobalString("reg_long_ref"), L"C:\\Long Folder\\" + tail);
}

TEST_F(RegistryPrims, QueryReadsStringsUpToTheirFirstNulAndOtherTypesAsNil) {
  const std::wstring key = TestKey(L"raw");
  CreateKey(HKEY_CURRENT_USER, key);
  HKEY h = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_WRITE, &h), ERROR_SUCCESS);
  const wchar_t twoParts[] = L"first\0second";
  RegSetValueExW(h, L"nul", 0, REG_SZ, reinterpret_cast<const BYTE*>(twoParts), sizeof twoParts);
  // No terminator stored, odd byte count: still read whole, never past the data.
  const BYTE odd[] = {'a', 0, 'b', 0, 'c'};
  RegSetValueExW(h, L"odd", 0, REG_SZ, odd, sizeof odd);
  const wchar_t multi[] = L"a\0b\0";
  RegSetValueExW(h, L"multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi), sizeof multi);
  const ULONGLONG qword = 5;
  RegSetValueExW(h, L"qword", 0, REG_QWORD, reinterpret_cast<const BYTE*>(&qword), sizeof qword);
  RegSetValueExW(h, L"none", 0, REG_NONE, nullptr, 0);
  RegCloseKey(h);
  ASSERT_TRUE(RunLua("local k = " + Lit(key) + R"(
    assert(Lua_RegQuery("HKCU", k, "nul") == "first")
    local odd = Lua_RegQuery("HKCU", k, "odd")
    assert(odd == "abc", odd)
    assert(Lua_RegQuery("HKCU", k, "multi") == nil)
    assert(Lua_RegQuery("HKCU", k, "qword") == nil)
    assert(Lua_RegQuery("HKCU", k, "none") == nil)
    reg_raw_ok = true)"));
  EXPECT_TRUE(ZPKScriptEngine::Instance()->GetGlobalBoolean("reg_raw_ok"));
}

TEST_F(RegistryPrims, DeletionLinesNameRootSubkeyValueAndErrorCode) {
  const std::wstring key = TestKey(L"lines");
  DebugCapture capture;
  ASSERT_TRUE(RunLua("local k = " + Lit(key) + R"(
    Lua_RegAdd("HKCU", k, "v", "REG_SZ", "1", true)
    assert(Lua_RegDel("HKCU", k, "v") == true)
    assert(Lua_RegDel("HKEY_CURRENT_USER", k) == false)  -- no such root: a failed deletion
    assert(Lua_RegDel("HKCU", k .. "\\missing") == true)
    assert(Lua_RegDel("HKCU", k .. "\\missing", "v") == true))"));
  EXPECT_TRUE(capture.Contains(L"qd Delete Value HKCU, " + key + L", v"));
  EXPECT_TRUE(capture.Contains(L"qd OpenKey HKEY_CURRENT_USER failed, errcode: 6\r\n"));
  EXPECT_TRUE(capture.Contains(L"qd DeleteSubKey " + key + L"\\missing failed, errcode: 2"));
  // A value on a key that cannot be opened: nothing happens, nothing is written.
  EXPECT_EQ(capture.lines().size(), 3u);
  EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, key, L"v").status, ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, key));  // the unknown root deleted nothing
}

TEST_F(RegistryPrims, TreeDeletionGoesDepthFirstAndSparesSiblings) {
  const std::wstring key = TestKey(L"tree");
  for (const wchar_t* sub : {L"\\a\\b\\c\\d", L"\\a\\b\\e", L"\\a\\f", L"\\sibling"})
    CreateKey(HKEY_CURRENT_USER, key + sub);
  // The registry refuses to delete a key that still has subkeys: only a depth-first
  // deletion gets the tree away.
  ASSERT_NE(RegDeleteKeyW(HKEY_CURRENT_USER, (key + L"\\a").c_str()), ERROR_SUCCESS);
  DebugCapture capture;
  ASSERT_TRUE(RunLua("assert(Lua_RegDel('HKCU', " + Lit(key + L"\\a") + ") == true)"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, key + L"\\a"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, key + L"\\sibling"));
  EXPECT_TRUE(capture.lines().empty());
}

TEST_F(RegistryPrims, AnEmptySubkeyNeverDeletesTheRootsContent) {
  const std::wstring key = TestKey(L"guard");
  CreateKey(HKEY_CURRENT_USER, key);
  DebugCapture capture;
  ASSERT_TRUE(RunLua(R"(
    assert(Lua_RegDel("HKCU", "") == false)
    assert(Lua_RegDel("HKCU", nil) == false)
    assert(Lua_RegDel("HKCU", "\\") == false)
    assert(Lua_RegDel("HKCU") == false))"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, key));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, L"Software"));
  EXPECT_TRUE(capture.Contains(L"qd DeleteSubKey  failed, errcode: 87"));
  EXPECT_TRUE(capture.Contains(L"qd DeleteSubKey \\ failed, errcode: 87"));
}

// HKLM\SOFTWARE is split into a 64-bit and a 32-bit view: the primitives work in their own
// process's view only, so the 32-bit installer lands under WOW6432Node.
TEST(RegistryPrimsView, WritesReadsAndDeletesInTheProcessView) {
  const std::wstring key = std::wstring(L"SOFTWARE\\ZpkTestView_") + (Is64BitProcess() ? L"x64" : L"x86");
  const REGSAM own = Is64BitProcess() ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
  const REGSAM other = Is64BitProcess() ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
  // The test keys have no subkeys: one deletion per view cleans up.
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), own, 0);
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), other, 0);
  HKEY h = nullptr;

  ASSERT_TRUE(RunLua("local k = " + Lit(key) + R"(
    Lua_RegAdd("HKLM", k, "Version", "REG_SZ", "1.0", true)
    assert(Lua_RegQuery("HKLM", k, "Version") == "1.0"))"));
  EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, key, L"Version", own).bytes, Utf16Bytes(L"1.0"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key, other));
  if (!Is64BitProcess()) {
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\WOW6432Node\\" + key.substr(9), KEY_WOW64_64KEY));
  }

  // A key of the same name in the other view is neither read nor deleted.
  CreateKey(HKEY_LOCAL_MACHINE, key, other);
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_ALL_ACCESS | other, &h), ERROR_SUCCESS);
  RegSetValueExW(h, L"Other", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"o"), 4);
  RegCloseKey(h);
  ASSERT_TRUE(RunLua("local k = " + Lit(key) + R"(
    assert(Lua_RegQuery("HKLM", k, "Other") == nil)
    Lua_RegDel("HKLM", k)
    assert(Lua_RegQuery("HKLM", k, "Version") == nil))"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key, own));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, key, other));
  EXPECT_EQ(RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), other, 0), ERROR_SUCCESS);
}
