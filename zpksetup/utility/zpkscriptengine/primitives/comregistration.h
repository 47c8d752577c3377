// Script primitives that register and unregister COM server DLLs.
#pragma once
#include <lua/lua.hpp>

// Lua_RegSvr32(dll, register): calls the DLL's DllRegisterServer (register true) or
// DllUnregisterServer inside the installer. True when the export exists and succeeds.
int Lua_RegSvr32(lua_State* L);
// Lua_RegistDll(dll, switches): starts "regsvr32 <switches> "<dll>"" hidden, without
// waiting. True when the command was started.
int Lua_RegistDll(lua_State* L);
