// WString: a UTF-16, NUL-terminated buffer, for native functions taking wide text.
// Global module table WString = { New }; capacities count UTF-16 units.
#pragma once
#include <lua/lua.hpp>

int luaopen_WString(lua_State* L);
