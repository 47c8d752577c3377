// Script primitives that ask about the system and the installer process, change its
// token privileges and end the Windows session.
#pragma once
#include <windows.h>

#include <lua/lua.hpp>

#include <functional>
#include <string>
#include <vector>

// Lua_GetOSVersion(): the major version of Windows as the installer sees it.
int Lua_GetOSVersion(lua_State* L);
// Lua_IsWow64(): true for a 32-bit installer on 64-bit Windows.
int Lua_IsWow64(lua_State* L);
// Lua_ExitWindows(flags, reason): log off, shut down or restart.
int Lua_ExitWindows(lua_State* L);
// Lua_GetModuleFileName([module]): path of that loaded module, else of the installer.
int Lua_GetModuleFileName(lua_State* L);
// Lua_GetCommandLineArgv(): the installer's command line split, program first.
int Lua_GetCommandLineArgv(lua_State* L);
// Lua_EnablePrivilege(name, enable): the last two arguments.
int Lua_EnablePrivilege(lua_State* L);
// Lua_GetDriverInstallPath(): the program-files folder to install into.
int Lua_GetDriverInstallPath(lua_State* L);

namespace systemprims {

// Test seam for Lua_ExitWindows: the call that ends the session. A test replaces it so
// the machine running the tests is never logged off; returns the previous function.
using ExitWindowsFn = BOOL(WINAPI*)(UINT flags, DWORD reason);
ExitWindowsFn SetExitWindowsFunction(ExitWindowsFn fn);

// The choice of Lua_GetDriverInstallPath: defaultPath (the program-files folder with a
// trailing backslash) moved to the second or a later fixed drive where the same folder
// exists, the first such; defaultPath when there is none. fixedDrives are "C:", "D:"...
std::wstring ChooseInstallPath(const std::wstring& defaultPath,
                               const std::vector<std::wstring>& fixedDrives,
                               const std::function<bool(const std::wstring&)>& exists);

}  // namespace systemprims
