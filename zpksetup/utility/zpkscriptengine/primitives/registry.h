// Registry primitives. Roots are named "HKCR", "HKCU", "HKLM", "HKU", "HKCC" (exact
// case); keys are opened with KEY_READ | KEY_WRITE in the process's own registry view.
//   Lua_RegQuery(root, subkey, value) -> string (REG_SZ, REG_EXPAND_SZ unexpanded),
//       number (REG_DWORD, unsigned) or nil
//   Lua_RegAdd(root, subkey, value, datatype, data, overwrite) -> true
//   Lua_RegDel(root, subkey [, value]) -> true; a third argument (even nil) deletes that
//       value, without one the subkey and everything below it goes
#pragma once
#include <windows.h>

#include <lua/lua.hpp>

#include <string>
#include <vector>

int Lua_RegQuery(lua_State* L);
int Lua_RegAdd(lua_State* L);
int Lua_RegDel(lua_State* L);

namespace regprim {

// The root key for a short name; nullptr for any other name.
HKEY RootByName(const std::wstring& name);

// REG_BINARY data: hexadecimal digit pairs in the order written, a final odd digit forms
// the last byte alone. A pair's number ends at its first non-hexadecimal character (a
// pair that starts with one gives 0).
std::vector<BYTE> ParseHexBytes(const std::wstring& text);

// Deletes parent\name with every subkey below it, depth first. Returns the first
// failure's system error code (2 when the key does not exist) or ERROR_SUCCESS.
LONG DeleteKeyTree(HKEY parent, const std::wstring& name);

}  // namespace regprim
