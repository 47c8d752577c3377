#include "primitives/messages.h"

#include <windows.h>

#include <string>

#include "log/debugoutput.h"
#include "log/qvbaselog.h"
#include "msgbox.h"
#include "scriptargs.h"
#include "textconv.h"

int Lua_MsgBox(lua_State* L) {
  const int count = lua_gettop(L);
  std::wstring text;
  std::wstring caption;
  UINT style = 0;
  // One to three arguments are text, caption and style; none or more than three show
  // an empty box.
  if (count >= 1 && count <= 3) {
    text = scriptargs::Text(L, 1);
    if (count >= 2) caption = scriptargs::Text(L, 2);
    if (count >= 3) style = static_cast<UINT>(scriptargs::Unsigned(L, 3));
  }
  lua_pushinteger(L, ZpkMessageBox(nullptr, text.c_str(), caption.c_str(), style));
  return 1;
}

int Lua_Logout(lua_State* L) {
  const std::wstring text = scriptargs::Text(L, 1);
  qd::OutputText(text.c_str());
  QVLOG_INFO("log:{}", Utf16ToAnsi(text.c_str()));
  return 0;
}
