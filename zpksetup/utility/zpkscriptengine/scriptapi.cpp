#include "scriptapi.h"

#include <lua/lua.hpp>

namespace {

// Each module is registered as luaL_requiref with its global flag does it.
struct Module {
  const char* name;
  lua_CFunction open;
};

// Value types and the DLL bridge, in registration order.
const Module kModules[] = {
    {nullptr, nullptr},
};

// The installation primitives, in registration order.
const luaL_Reg kPrimitives[] = {
    {nullptr, nullptr},
};

}  // namespace

void RegisterScriptApi(lua_State* L) {
  for (const Module& m : kModules) {
    if (!m.name) break;
    luaL_requiref(L, m.name, m.open, 1);
    lua_pop(L, 1);
  }
  for (const luaL_Reg& r : kPrimitives) {
    if (!r.name) break;
    lua_pushcfunction(L, r.func);
    lua_setglobal(L, r.name);
  }
}
