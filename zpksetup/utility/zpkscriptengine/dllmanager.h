// The DLL call bridge as scripts see it: DllManager values wrap a loaded module
// (global module table DllManager = { Load }; methods Get and UnLoad), Get turns an
// export into a callable script function, and the global table GLibTab loads a DLL
// the first time a script indexes it by name and keeps it under that key.
#pragma once
#include <lua/lua.hpp>

int luaopen_DllManager(lua_State* L);

// Creates the global GLibTab; DllManager must be registered first.
void CreateGLibTab(lua_State* L);
