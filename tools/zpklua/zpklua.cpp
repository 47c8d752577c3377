// Runs a Lua file in the installer's script host. print goes to standard output; a
// script error prints what the error box would show to standard error and exits with 1.
// --qd echoes debug-output lines to standard error. --answer=B1,B2,... answers the
// message boxes in turn with those button ids (IDOK=1, IDCANCEL=2, IDABORT=3, IDRETRY=4,
// IDIGNORE=5, IDYES=6, IDNO=7) and prints each box to standard error as
// "MSGBOX style=0x<hex> caption=<caption> text=<text>"; with no answers left, IDCANCEL.
#include <windows.h>

#include <lua/lua.hpp>

#include <cstdio>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "log/debugoutput.h"
#include "msgbox.h"
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

std::vector<int>& Answers() {
  static std::vector<int> answers;
  return answers;
}

int AnswerMessageBox(HWND, const wchar_t* text, const wchar_t* caption, UINT style) {
  fprintf(stderr, "MSGBOX style=0x%x caption=%s text=%s\n", style, Utf16ToUtf8(caption).c_str(),
          Utf16ToUtf8(text).c_str());
  fflush(stderr);
  std::vector<int>& answers = Answers();
  if (answers.empty()) return IDCANCEL;
  int button = answers.front();
  answers.erase(answers.begin());
  return button;
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
  for (; first < argc && wcsncmp(argv[first], L"--", 2) == 0; ++first) {
    if (wcscmp(argv[first], L"--qd") == 0) {
      qd::SetHook(&EchoDebugLine);
    } else if (wcsncmp(argv[first], L"--answer=", 9) == 0) {
      SetMessageBoxHook(&AnswerMessageBox);
      for (const wchar_t* p = argv[first] + 9; *p;) {
        wchar_t* end = nullptr;
        Answers().push_back(static_cast<int>(wcstol(p, &end, 10)));
        p = (*end == L',') ? end + 1 : end + wcslen(end);
      }
    } else {
      fprintf(stderr, "zpklua: unknown option %s\n", Utf16ToUtf8(argv[first]).c_str());
      return 2;
    }
  }
  if (argc <= first) {
    fprintf(stderr, "usage: zpklua [--qd] [--answer=B1,B2,...] FILE.lua [ARGS...]\n");
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
