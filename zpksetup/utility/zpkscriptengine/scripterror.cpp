#include "scripterror.h"

#include <windows.h>

#include <lua/lua.hpp>

#include <atomic>
#include <cstdio>

#include "exitcodes.h"
#include "msgbox.h"
#include "textconv.h"

const wchar_t kScriptErrorCaption[] = L":-( 杯具，脚本执行时发生错误";
const wchar_t kScriptErrorRequest[] = L"请向我们反馈以上错误信息，以便我们改善产品质量！";

namespace {

void ShowErrorBoxAndExit(const std::wstring& text) {
  ZpkMessageBox(nullptr, text.c_str(), kScriptErrorCaption, MB_ICONERROR | MB_OK);
  ExitProcess(kExitFatal);  // the installation or removal stopped halfway
}

std::atomic<ScriptErrorPresenter> g_presenter{&ShowErrorBoxAndExit};

}  // namespace

void AppendCallStack(lua_State* L, int level, std::string& text) {
  for (; level >= 0; ++level) {
    lua_Debug ar;
    if (!lua_getstack(L, level, &ar)) return;
    lua_getinfo(L, "nSlu", &ar);
    const char* prefix = "--  | ";
    if (level == 0) {
      text += "      <call stack>\n";
      prefix = "-> | ";
    }
    char line[2048];
    if (ar.name) {
      snprintf(line, sizeof line, "%s%s() : line %d [%s : line %d]\n", prefix, ar.name,
               ar.currentline, ar.source, ar.linedefined);
    } else {
      snprintf(line, sizeof line, "%sunknown : line %d [%s : line %d]\n", prefix,
               ar.currentline, ar.source, ar.linedefined);
    }
    text += line;
  }
}

std::wstring BuildScriptErrorText(lua_State* L) {
  const char* message = lua_tolstring(L, 1, nullptr);
  // A value without text (a table, nil) prints as the C runtime prints a null string.
  std::string text = message ? message : "(null)";
  text += "\n";
  AppendCallStack(L, 0, text);
  return AnsiToUtf16(text.c_str()) + kScriptErrorRequest;
}

int ScriptErrorHandler(lua_State* L) {
  std::wstring text = BuildScriptErrorText(L);
  g_presenter.load()(text);
  lua_pushstring(L, Utf16ToUtf8(text).c_str());
  return 1;
}

void SetScriptErrorPresenter(ScriptErrorPresenter presenter) {
  g_presenter.store(presenter ? presenter : &ShowErrorBoxAndExit);
}
