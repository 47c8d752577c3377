// Runs a Lua file in the installer's script host. print goes to standard output; a
// script error prints what the error box would show to standard error and exits with 1.
// --qd echoes debug-output lines to standard error.
#include <windows.h>

#include <lua/lua.hpp>

#include <cstdio>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <string>

#include "log/debugoutput.h"
#include "scriptengine.h"
#include "scripterror.h"
#include "textconv.h"

namespace {

void PrintErrorAndExit(const std::wstring& text) {
  std::string utf8 = Utf16ToUtf8(text);
  fprintf(stderr, "%s\n", utf8.c_str());
  fflush(stdout);
  fflush(stderr);
  ExitProcess(1);
}

void EchoDebugLine(const wchar_t* line) {
  fprintf(stderr, "%s", Utf16ToUtf8(line).c_str());
  size_t n = wcslen(line);
  if (n < 2 || line[n - 1] != L'\n') fputc('\n', stderr);
}

bool ReadFile(const std::wstring& path, std::string& out) {
  std::ifstream in(path.c_str(), std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int first = 1;
  if (argc > 1 && wcscmp(argv[1], L"--qd") == 0) {
    qd::SetHook(&EchoDebugLine);
    first = 2;
  }
  if (argc <= first) {
    fprintf(stderr, "usage: zpklua [--qd] FILE.lua [ARGS...]\n");
    return 2;
  }
  std::string chunk;
  if (!ReadFile(argv[first], chunk)) {
    fprintf(stderr, "zpklua: cannot read %s\n", Utf16ToUtf8(argv[first]).c_str());
    return 2;
  }
  SetScriptErrorPresenter(&PrintErrorAndExit);
  ZPKScriptEngine* engine = ZPKScriptEngine::Instance();
  lua_State* L = engine->State();
  lua_createtable(L, argc - first - 1, 1);
  for (int i = first; i < argc; ++i) {
    lua_pushstring(L, Utf16ToUtf8(argv[i]).c_str());
    lua_rawseti(L, -2, i - first);
  }
  lua_setglobal(L, "arg");
  const std::string name = "@" + Utf16ToUtf8(argv[first]);
  if (!engine->DoBuffer(chunk.data(), chunk.size(), name.c_str())) {
    // The host reports load errors as debug output only; say it here as well.
    const char* why = "";
    if (luaL_loadbuffer(L, chunk.data(), chunk.size(), name.c_str()) != LUA_OK)
      why = lua_tostring(L, -1);
    fprintf(stderr, "zpklua: %s could not be loaded: %s\n", Utf16ToUtf8(argv[first]).c_str(), why);
    return 1;
  }
  fflush(stdout);
  return 0;
}
