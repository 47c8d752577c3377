// Shell primitives: shortcuts, starting programs and special-folder variables.
//   Lua_CreateShortcut(target, link, arguments, description) -> boolean
//       a URL target gives an internet shortcut; otherwise a shell link whose arguments
//       and description are set only when a fourth argument is passed (nil skips one)
//   Lua_Exec(file, verb, parameters, wait, via_explorer) -> boolean
//   Lua_ExplorerExec(file, parameters) -> boolean (through the desktop shell)
//   Lua_ShellExec(file, parameters) -> boolean (hidden, not waited for)
//   Lua_RegVarByCSIDL(name, csidl) -> boolean (process environment variable := folder)
#pragma once
#include <windows.h>

#include <lua/lua.hpp>

#include <string>

int Lua_CreateShortcut(lua_State* L);
int Lua_Exec(lua_State* L);
int Lua_ExplorerExec(lua_State* L);
int Lua_ShellExec(lua_State* L);
int Lua_RegVarByCSIDL(lua_State* L);

// Starts a program through the desktop shell process, so that it runs with the shell's
// rights rather than the installer's: "explorer.exe \"<file>\" \"<parameters>\"" in the
// thread's ANSI code page through WinExec. Returns WinExec's value (greater than 31 when
// started; 0 when out of resources).
UINT DesktopShellLaunch(const std::wstring& file, const std::wstring& parameters);

namespace shellprim {
// "Startpin", "Startunpin", "Taskbarpin", "Taskbarunpin", any case.
bool IsPinVerb(const std::wstring& verb);
bool IsUnpinVerb(const std::wstring& verb);
}  // namespace shellprim
