#include <gtest/gtest.h>
#include <lua/lua.hpp>

#include <cstring>
#include <string>

#include "scriptengine.h"
#include "scripterror.h"
#include "testutil.h"
#include "textconv.h"

namespace {

ZPKScriptEngine* Engine() { return ZPKScriptEngine::Instance(); }

bool RunLua(const std::string& code, const char* name = "=test") {
  return Engine()->DoBuffer(code.data(), code.size(), name);
}

// Records the error text instead of ending the process.
std::wstring g_lastError;
void RecordError(const std::wstring& text) { g_lastError = text; }

struct ErrorRecorder {
  ErrorRecorder() {
    g_lastError.clear();
    SetScriptErrorPresenter(&RecordError);
  }
  ~ErrorRecorder() { SetScriptErrorPresenter(nullptr); }
};

std::string Narrow(const std::wstring& w) { return Utf16ToUtf8(w); }

}  // namespace

TEST(ScriptEngine, StandardLibrariesAreOpen) {
  ASSERT_TRUE(RunLua(R"(
    for _, n in ipairs{"package","coroutine","table","io","os","string","bit32","math","debug"} do
      assert(type(_G[n]) == "table", n)
    end
    assert(_G._G == _G)
    assert(next(package.preload) == nil)
    engine_libs_ok = true)"));
  EXPECT_TRUE(Engine()->GetGlobalBoolean("engine_libs_ok"));
}

TEST(ScriptEngine, GlobalsCrossChunksAndTheNativeSide) {
  ASSERT_TRUE(RunLua("cfg_path = [[C:\\程序\\RuvanZip]]; cfg_num = 42; cfg_flag = false"));
  ASSERT_TRUE(RunLua("assert(cfg_num == 42); cfg_seen = cfg_path .. '!'"));
  EXPECT_EQ(Engine()->GetGlobalString("cfg_seen"), L"C:\\程序\\RuvanZip!");
  EXPECT_EQ(Engine()->GetGlobalInteger("cfg_num"), 42);
  EXPECT_FALSE(Engine()->GetGlobalBoolean("cfg_flag"));

  Engine()->SetGlobalString("InstallPath", L"D:\\软件\\Ruvan Zip");
  Engine()->SetGlobalNumber("progress_pos", 37.5);
  Engine()->SetGlobalBoolean("FileAssoChk", true);
  ASSERT_TRUE(RunLua(R"(
    assert(InstallPath == "D:\\\232\189\175\228\187\182\\Ruvan Zip", InstallPath)
    assert(progress_pos == 37.5)
    assert(FileAssoChk == true))"));
}

TEST(ScriptEngine, GlobalConversionsFollowLuaRules) {
  ASSERT_TRUE(RunLua("n_int = 7; n_frac = 2.5; t = {}; b = true; zero = 0; empty = ''; numtext = ' 12 '"));
  EXPECT_EQ(Engine()->GetGlobalString("n_int"), L"7");
  EXPECT_EQ(Engine()->GetGlobalString("n_frac"), L"2.5");
  EXPECT_EQ(Engine()->GetGlobalString("t"), L"");
  EXPECT_EQ(Engine()->GetGlobalString("b"), L"");
  EXPECT_EQ(Engine()->GetGlobalString("no_such_global"), L"");
  EXPECT_TRUE(Engine()->GetGlobalBoolean("zero"));
  EXPECT_TRUE(Engine()->GetGlobalBoolean("empty"));
  EXPECT_FALSE(Engine()->GetGlobalBoolean("no_such_global"));
  EXPECT_EQ(Engine()->GetGlobalInteger("numtext"), 12);
  EXPECT_EQ(Engine()->GetGlobalInteger("t"), 0);
  EXPECT_EQ(Engine()->GetGlobalInteger("no_such_global"), 0);
  // Reading a number as text must not turn the global itself into a string.
  ASSERT_TRUE(RunLua("assert(type(n_int) == 'number')"));
}

TEST(ScriptEngine, GlobalAccessLeavesTheStackAlone) {
  lua_State* L = Engine()->State();
  int top = lua_gettop(L);
  Engine()->GetGlobalString("n_int");
  Engine()->GetGlobalInteger("n_int");
  Engine()->GetGlobalBoolean("n_int");
  Engine()->SetGlobalString("s", L"x");
  Engine()->SetGlobalNumber("n", 1);
  Engine()->SetGlobalBoolean("b", false);
  Engine()->CallEvent("ZPKSE_NotDefined");
  ASSERT_TRUE(RunLua("ZPKSE_NotAFunction = 5"));
  Engine()->CallEvent("ZPKSE_NotAFunction");
  EXPECT_EQ(lua_gettop(L), top);
}

TEST(ScriptEngine, CallEventRunsTheFunctionWithoutArguments) {
  ASSERT_TRUE(RunLua("event_calls = 0; function ZPKSE_Count(...) event_calls = event_calls + 1; event_nargs = select('#', ...) end"));
  Engine()->CallEvent("ZPKSE_Count");
  Engine()->CallEvent("ZPKSE_Count");
  EXPECT_EQ(Engine()->GetGlobalInteger("event_calls"), 2);
  EXPECT_EQ(Engine()->GetGlobalInteger("event_nargs"), 0);
}

TEST(ScriptEngine, LoadErrorsAreReportedAndNothingRuns) {
  DebugCapture dbg;
  EXPECT_FALSE(RunLua("syntax_error_ran = true; x = = 1", "BROKEN.LUAC"));
  EXPECT_FALSE(Engine()->GetGlobalBoolean("syntax_error_ran"));
  auto lines = dbg.lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find(L"BROKEN.LUAC"), std::wstring::npos);
  EXPECT_EQ(lines[1], L"qd luaL_loadbuffer failed!\r\n");
  // Corrupt bytecode is refused the same way.
  std::string corrupt("\x1bLua\x52\x00\x01\x04\x04\x04\x08\x00garbage", 20);
  EXPECT_FALSE(RunLua(corrupt, "CORRUPT.LUAC"));
}

TEST(ScriptEngine, ErrorTextCarriesMessageAndCallStack) {
  ErrorRecorder rec;
  ASSERT_TRUE(RunLua("function ZPKSE_Fail()\n  local x = 1\n  error('x')\nend", "@inst.lua"));
  Engine()->CallEvent("ZPKSE_Fail");
  const std::string text = Narrow(g_lastError);
  const std::string expected =
      "inst.lua:3: x\n"
      "      <call stack>\n"
      "-> | unknown : line -1 [=[C] : line -1]\n"
      "--  | error() : line -1 [=[C] : line -1]\n"
      "--  | unknown : line 3 [@inst.lua : line 1]\n";
  EXPECT_EQ(text.substr(0, expected.size()), expected) << text;
  EXPECT_EQ(g_lastError.substr(g_lastError.size() - wcslen(kScriptErrorRequest)),
            kScriptErrorRequest);
}

TEST(ScriptEngine, ErrorStackNamesLuaCallers) {
  ErrorRecorder rec;
  ASSERT_TRUE(RunLua("local function inner() error('deep') end\n"
                  "function ZPKSE_Nested() inner() end", "@n.lua"));
  Engine()->CallEvent("ZPKSE_Nested");
  const std::string text = Narrow(g_lastError);
  EXPECT_NE(text.find("--  | inner() : line 1 [@n.lua : line 1]\n"), std::string::npos) << text;
  EXPECT_NE(text.find("--  | unknown : line 2 [@n.lua : line 2]\n"), std::string::npos) << text;
}

TEST(ScriptEngine, ErrorWithoutTextReadsNull) {
  ErrorRecorder rec;
  ASSERT_FALSE(RunLua("error({})"));
  EXPECT_EQ(Narrow(g_lastError).rfind("(null)\n      <call stack>\n", 0), 0u) << Narrow(g_lastError);
}

TEST(ScriptEngine, ProtectedCallKeepsTheStackBalanced) {
  lua_State* L = Engine()->State();
  ASSERT_TRUE(RunLua("function add(a, b) return a + b end"));
  int top = lua_gettop(L);
  lua_getglobal(L, "add");
  lua_pushnumber(L, 2);
  lua_pushnumber(L, 3);
  ASSERT_EQ(Engine()->ProtectedCall(2, 1), 0);
  EXPECT_EQ(lua_tonumber(L, -1), 5);
  lua_pop(L, 1);
  EXPECT_EQ(lua_gettop(L), top);
}

TEST(ScriptEngine, ChunkFromTheResources) {
  ASSERT_TRUE(Engine()->DoResLua(L"LUA", L"TEST.LUAC"));
  EXPECT_EQ(Engine()->GetGlobalInteger("resource_chunk_ran"), 1);
  EXPECT_EQ(Engine()->GetGlobalString("resource_text"), L"资源 chunk");
}

TEST(ScriptEngine, MissingOrEmptyResources) {
  {
    DebugCapture dbg;
    EXPECT_FALSE(Engine()->DoResLua(L"LUA", L"NOPE.LUAC"));
    auto lines = dbg.lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], L"qd LoadResource failed. Type : LUA ID : NOPE.LUAC\r\n");
    EXPECT_EQ(lines[1].rfind(L"qd qd file:", 0), 0u);
    EXPECT_EQ(lines[2].rfind(L"qd qd line:", 0), 0u);
    EXPECT_EQ(lines[3].rfind(L"qd qd err:", 0), 0u);
    EXPECT_NE(lines[3], L"qd qd err:0\r\n");
  }
  {
    DebugCapture dbg;
    EXPECT_FALSE(Engine()->DoResLua(L"LUA", L"EMPTY.LUAC"));
    EXPECT_TRUE(dbg.Contains(L"qd ResSize == 0\r\n"));
  }
}

TEST(TextConversion, RoundTripsAndEmptyInput) {
  const std::wstring w = L"安装 RuvanZip ✓";
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(w)), w);
  EXPECT_EQ(Utf16ToUtf8(L"é"), "\xc3\xa9");
  EXPECT_EQ(Utf8ToUtf16(static_cast<const char*>(nullptr)), L"");
  EXPECT_EQ(Utf16ToUtf8(static_cast<const wchar_t*>(nullptr)), "");
  EXPECT_EQ(Utf8ToUtf16(""), L"");
  EXPECT_EQ(AnsiToUtf16("plain"), L"plain");
  EXPECT_EQ(Utf16ToAnsi(L"plain"), "plain");
  // Embedded NULs survive the sized form.
  EXPECT_EQ(Utf8ToUtf16(std::string("a\0b", 3)).size(), 3u);
}
