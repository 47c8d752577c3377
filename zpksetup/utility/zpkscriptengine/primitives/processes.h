// Script primitives that find and end processes and tell where their executables lie.
#pragma once
#include <lua/lua.hpp>

// Lua_GetProcessId(name): one identifier per running process of that executable name
// (name is the last argument), in snapshot order; -1 when there is none.
int Lua_GetProcessId(lua_State* L);
// Lua_TaskKill(process, window_class, message, wparam, lparam): posts a message to the
// window of that class (unless window_class is nil), then ends the process given by
// identifier or executable name. True when it is gone or never ran.
int Lua_TaskKill(lua_State* L);
// Lua_KillAllTaskByName(process): ends the first process of that name (or that id).
int Lua_KillAllTaskByName(lua_State* L);
// Lua_GetImagePathByPid(pid): the drive path of that process's executable, or nothing.
int Lua_GetImagePathByPid(lua_State* L);
