// The globals the host places into the script state after the standard libraries:
// value types, the DLL bridge and the installation primitives, in their fixed order.
#pragma once

struct lua_State;

void RegisterScriptApi(lua_State* L);
