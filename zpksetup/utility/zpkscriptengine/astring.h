// AString: a narrow, NUL-terminated buffer in the thread's ANSI code page, for native
// functions taking char text. Global module table AString = { New }.
#pragma once
#include <lua/lua.hpp>

int luaopen_AString(lua_State* L);
