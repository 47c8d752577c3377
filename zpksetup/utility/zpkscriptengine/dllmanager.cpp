#include "dllmanager.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "callbridge.h"
#include "log/debugoutput.h"
#include "textconv.h"

namespace {

const char kDllManagerMetaTable[] = "DllManagerMetaTable";
const char kGLibTabMetaTable[] = "GlobalLibTableMetaTable";

// The script text of the value at index (numbers as their text) in UTF-16; a number is
// read from a copy so the caller's value keeps its type.
bool ScriptText(lua_State* L, int index, std::wstring& out) {
  int type = lua_type(L, index);
  if (type != LUA_TSTRING && type != LUA_TNUMBER) return false;
  lua_pushvalue(L, index);
  size_t len = 0;
  const char* text = lua_tolstring(L, -1, &len);
  out = Utf8ToUtf16(text, len);
  lua_pop(L, 1);
  return true;
}

void PushModule(lua_State* L, HMODULE module) {
  HMODULE* slot = static_cast<HMODULE*>(lua_newuserdata(L, sizeof(HMODULE)));
  *slot = module;
  luaL_setmetatable(L, kDllManagerMetaTable);
}

// The module slot of a DllManager value, null for anything else.
HMODULE* ModuleAt(lua_State* L, int index) {
  return index >= 1 ? static_cast<HMODULE*>(luaL_testudata(L, index, kDllManagerMetaTable)) : nullptr;
}

// --- the callable -----------------------------------------------------------------

// One machine word per script argument; false for the types that have none.
bool ToWord(lua_State* L, int index, uintptr_t& word) {
  switch (lua_type(L, index)) {
    case LUA_TNIL: word = 0; return true;
    case LUA_TBOOLEAN: word = lua_toboolean(L, index) ? 1 : 0; return true;
    // Sign-extended to the word, so -1 is all ones on either target.
    case LUA_TNUMBER: word = static_cast<uintptr_t>(static_cast<intptr_t>(lua_tointeger(L, index))); return true;
    case LUA_TSTRING: word = reinterpret_cast<uintptr_t>(lua_tostring(L, index)); return true;
    case LUA_TLIGHTUSERDATA:
    case LUA_TUSERDATA: word = reinterpret_cast<uintptr_t>(lua_touserdata(L, index)); return true;
    default: return false;
  }
}

// The return-type word of upvalue 1: a string, or a number compared as its text.
std::string ReturnType(lua_State* L) {
  int index = lua_upvalueindex(1);
  int type = lua_type(L, index);
  if (type != LUA_TSTRING && type != LUA_TNUMBER) return std::string();
  lua_pushvalue(L, index);
  size_t len = 0;
  const char* text = lua_tolstring(L, -1, &len);
  std::string word(text, len);
  lua_pop(L, 1);
  return word;
}

// Integer kinds take the low 32 bits of the result register (an x64 export returning
// a 32-bit value leaves the upper half undefined); addresses take the whole register.
void PushResult(lua_State* L, const std::string& type, uintptr_t result) {
  uint32_t low = static_cast<uint32_t>(result);
  if (type == "int") {
    lua_pushnumber(L, static_cast<lua_Number>(static_cast<int32_t>(low)));
  } else if (type == "uint") {
    lua_pushnumber(L, static_cast<lua_Number>(low));
  } else if (type == "bool") {
    lua_pushboolean(L, low != 0);
  } else if (type == "astr") {
    std::string utf8 = result ? Utf16ToUtf8(AnsiToUtf16(reinterpret_cast<const char*>(result))) : std::string();
    lua_pushlstring(L, utf8.data(), utf8.size());
  } else if (type == "wstr") {
    std::string utf8 = result ? Utf16ToUtf8(reinterpret_cast<const wchar_t*>(result)) : std::string();
    lua_pushlstring(L, utf8.data(), utf8.size());
  } else if (type == "ptr") {
    lua_pushlightuserdata(L, reinterpret_cast<void*>(result));
  } else {
    lua_pushnil(L);
  }
}

int CallExport(lua_State* L) {
  const void* fn = lua_touserdata(L, lua_upvalueindex(3));
  if (!fn) {
    lua_pushinteger(L, 0);
    return 1;
  }
  int caller_cleans = lua_toboolean(L, lua_upvalueindex(2));
  int n = lua_gettop(L);
  if (n > ZPK_CALL_MAX_ARGS) return luaL_error(L, "too many arguments (at most %d)", ZPK_CALL_MAX_ARGS);
  std::vector<uintptr_t> words(n > 0 ? n : 1);
  for (int i = n; i >= 1; --i) {
    if (!ToWord(L, i, words[i - 1])) {
      lua_pushstring(L, "unknow argument type");
      return lua_error(L);
    }
  }
  std::string type = ReturnType(L);
  uintptr_t result = zpk_call_native(fn, words.data(), static_cast<size_t>(n), caller_cleans);
  DWORD error = GetLastError();
  PushResult(L, type, result);
  lua_pushnumber(L, static_cast<lua_Number>(error));
  return 2;
}

// --- DllManager -------------------------------------------------------------------

int Load(lua_State* L) {
  std::wstring name;
  const int last = lua_gettop(L);  // the name is the last argument (Load and Load(self, name) alike)
  if (last > 0) ScriptText(L, last, name);
  HMODULE module = name.empty() ? nullptr : LoadLibraryW(name.c_str());
  if (!module) {
    DWORD error = name.empty() ? ERROR_INVALID_PARAMETER : GetLastError();
    lua_pushnil(L);
    lua_pushnumber(L, static_cast<lua_Number>(error));
    return 2;
  }
  PushModule(L, module);
  return 1;
}

// Frees the module and forgets the handle: the value then counts as not loaded, so a
// second UnLoad or a later Get cannot reach a module that may be gone.
int UnLoad(lua_State* L) {
  HMODULE* slot = ModuleAt(L, lua_gettop(L));
  if (slot && *slot) {
    FreeLibrary(*slot);
    *slot = nullptr;
  }
  lua_pushnil(L);
  return 1;
}

int Get(lua_State* L) {
  int nargs = lua_gettop(L);
  HMODULE* slot = ModuleAt(L, 1);
  if (!slot || !*slot) {
    qd::OutputText(L"if (nullptr == phMod)\r\n");
    lua_pushnil(L);
    lua_pushliteral(L, "hModule is nil");
    return 2;
  }
  FARPROC pfn = nullptr;
  std::string name;
  if (lua_type(L, 2) == LUA_TSTRING || lua_type(L, 2) == LUA_TNUMBER) {
    lua_pushvalue(L, 2);
    name = lua_tostring(L, -1);
    lua_pop(L, 1);
    pfn = GetProcAddress(*slot, name.c_str());
  } else {
    SetLastError(ERROR_PROC_NOT_FOUND);  // no name: nothing to look up
  }
  if (!pfn) {
    DWORD error = GetLastError();
    OutputDebugStringW(L"if (nullptr == pfn)\r\n");
    lua_pushnil(L);
    lua_pushnumber(L, static_cast<lua_Number>(error));
    return 2;
  }
  if (nargs >= 3) lua_pushvalue(L, 3); else lua_pushnil(L);
  if (nargs >= 4) lua_pushvalue(L, 4); else lua_pushnil(L);
  lua_pushlightuserdata(L, reinterpret_cast<void*>(pfn));
  lua_pushcclosure(L, CallExport, 3);
  lua_pushinteger(L, 0);
  return 2;
}

// --- GLibTab ----------------------------------------------------------------------

// __index: called only for keys not present yet. A load that fails stores nothing, so
// the next access tries again.
int LoadOnIndex(lua_State* L) {
  std::wstring name;
  if (!ScriptText(L, 2, name)) {
    lua_pushnil(L);
    return 1;
  }
  HMODULE module = LoadLibraryW(name.c_str());
  if (!module) {
    lua_pushnil(L);
    return 1;
  }
  lua_pushvalue(L, 2);
  PushModule(L, module);
  lua_pushvalue(L, -1);
  lua_insert(L, -3);  // value, key, value
  lua_rawset(L, 1);
  return 1;
}

}  // namespace

int luaopen_DllManager(lua_State* L) {
  static const luaL_Reg kMethods[] = {{"UnLoad", UnLoad}, {"Get", Get}, {nullptr, nullptr}};
  static const luaL_Reg kModule[] = {{"Load", Load}, {nullptr, nullptr}};
  luaL_newmetatable(L, kDllManagerMetaTable);
  lua_pushvalue(L, -1);
  lua_setfield(L, -2, "__index");
  luaL_setfuncs(L, kMethods, 0);
  lua_pop(L, 1);
  luaL_newlib(L, kModule);
  return 1;
}

void CreateGLibTab(lua_State* L) {
  lua_newtable(L);
  luaL_newmetatable(L, kGLibTabMetaTable);
  lua_pushvalue(L, -1);
  lua_setfield(L, -2, "__index");  // replaced by the loading function just below
  lua_pushcfunction(L, LoadOnIndex);
  lua_setfield(L, -2, "__index");
  lua_setmetatable(L, -2);
  lua_setglobal(L, "GLibTab");
}
