// The shared body of the two script string types, AString (narrow, ANSI) and WString
// (UTF-16): a full userdata whose block is a NUL-terminated buffer of fixed capacity,
// so the address handed to a native function is the first character.
//
// Positions at or beyond the block read as nil and writes there are ignored, and the
// text of a block ends at its end even when something overwrote the terminator, so no
// metamethod touches memory outside the block.
#pragma once
#include <lua/lua.hpp>

#include <cstdint>
#include <cstring>
#include <string>

namespace stringtype {

template <class T>
struct Type {
  using Unit = typename T::Unit;
  using Text = std::basic_string<Unit>;

  static Unit* Block(lua_State* L, int index, size_t* units) {
    void* p = luaL_testudata(L, index, T::kMeta);
    *units = p ? lua_rawlen(L, index) / sizeof(Unit) : 0;
    return static_cast<Unit*>(p);
  }

  static Text BlockText(lua_State* L, int index) {
    size_t units = 0;
    Unit* p = Block(L, index, &units);
    return T::BlockText(p, units * sizeof(Unit));
  }

  // A new value holding text and its terminator in a block of capacity units.
  static void Push(lua_State* L, const Text& text, size_t capacity) {
    size_t bytes = capacity <= SIZE_MAX / sizeof(Unit) ? capacity * sizeof(Unit) : SIZE_MAX;
    void* block = lua_newuserdata(L, bytes);  // too large: Lua's own memory error
    // The whole block is cleared, so units after the terminator read as NUL.
    std::memset(block, 0, bytes);
    std::memcpy(block, text.data(), text.size() * sizeof(Unit));
    luaL_setmetatable(L, T::kMeta);
  }

  static int New(lua_State* L) {
    int nargs = lua_gettop(L);
    lua_Integer capacity = lua_tointeger(L, 1);
    Text init;
    if (nargs <= 1) {
      if (capacity <= 0) {
        lua_pushnil(L);
        return 1;
      }
    } else {
      init = T::ToText(L, 2);
    }
    size_t units = capacity > 0 ? static_cast<size_t>(capacity) : 0;
    if (init.size() >= units) units = init.size() + 1;
    Push(L, init, units);
    return 1;
  }

  static int Index(lua_State* L) {
    size_t units = 0;
    Unit* p = Block(L, 1, &units);
    lua_Integer pos = lua_tointeger(L, 2);
    if (!p || pos < 0 || static_cast<uint64_t>(pos) >= units) {
      lua_pushnil(L);
      return 1;
    }
    Unit unit;
    std::memcpy(&unit, p + pos, sizeof unit);
    if (unit == 0) {
      lua_pushliteral(L, "");
    } else {
      std::string utf8 = T::UnitToUtf8(unit);
      lua_pushlstring(L, utf8.data(), utf8.size());
    }
    return 1;
  }

  // Replaces one unit inside the current text; never changes the text's length.
  static int NewIndex(lua_State* L) {
    size_t units = 0;
    Unit* p = Block(L, 1, &units);
    if (!p) return 0;
    lua_Integer pos = lua_tointeger(L, 2);
    size_t len = 0;
    const char* utf8 = lua_tolstring(L, 3, &len);
    Text value = utf8 ? T::FromUtf8(utf8, len) : Text();
    size_t current = T::BlockText(p, units * sizeof(Unit)).size();
    if (pos < 1 || static_cast<uint64_t>(pos) >= current) return 0;
    if (value.empty() || value[0] == 0) return 0;
    std::memcpy(p + pos, &value[0], sizeof(Unit));
    return 0;
  }

  static int Len(lua_State* L) {
    lua_pushinteger(L, static_cast<lua_Integer>(BlockText(L, 1).size()));
    return 1;
  }

  static int ToString(lua_State* L) {
    std::string utf8 = T::TextToUtf8(BlockText(L, 1));
    lua_pushlstring(L, utf8.data(), utf8.size());
    return 1;
  }

  static int Concat(lua_State* L) {
    Text text = T::ToText(L, 1) + T::ToText(L, 2);
    Push(L, text, text.size() + 1);
    return 1;
  }

  static int Eq(lua_State* L) {
    size_t ua = 0, ub = 0;
    Unit* a = Block(L, 1, &ua);
    Unit* b = Block(L, 2, &ub);
    bool equal = a && b &&
                 T::Compare(T::BlockText(a, ua * sizeof(Unit)), T::BlockText(b, ub * sizeof(Unit))) == 0;
    lua_pushboolean(L, equal);
    return 1;
  }

  static int Open(lua_State* L) {
    static const luaL_Reg kMetamethods[] = {
        {"__index", Index},       {"__newindex", NewIndex}, {"__len", Len},
        {"__tostring", ToString}, {"__concat", Concat},     {"__eq", Eq},
        {nullptr, nullptr},
    };
    static const luaL_Reg kModule[] = {{"New", New}, {nullptr, nullptr}};
    luaL_newmetatable(L, T::kMeta);
    lua_pushvalue(L, -1);
    lua_setfield(L, -2, "__index");  // replaced by the indexing function just below
    luaL_setfuncs(L, kMetamethods, 0);
    lua_pop(L, 1);
    luaL_newlib(L, kModule);
    return 1;
  }
};

}  // namespace stringtype
