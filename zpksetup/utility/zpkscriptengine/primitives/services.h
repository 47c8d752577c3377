// The script primitive that starts and stops Windows services.
#pragma once
#include <windows.h>

#include <lua/lua.hpp>

// Lua_SCM(service, operation): "start" or "stop" (any case) and wait until the service
// runs or has stopped. True on success and for a service that does not exist.
int Lua_SCM(lua_State* L);

namespace services {

// How long Lua_SCM waits for a service to reach the state it asked for; a service left
// pending or paused would otherwise hold the installer forever.
constexpr DWORD kDefaultPollLimitMs = 30000;

// Test seam: replaces the limit and returns the previous one.
DWORD SetPollLimit(DWORD ms);

}  // namespace services
