// The two ways a script speaks: a message box to the user, a line to the install log.
#pragma once
#include <lua/lua.hpp>

// Lua_MsgBox(text [, caption [, style]]): the button pressed (IDOK, IDCANCEL...).
int Lua_MsgBox(lua_State* L);
// Lua_Logout(text): a debug-output line and an install-log record "log:<text>".
int Lua_Logout(lua_State* L);
