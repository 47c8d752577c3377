#include "rawbuffer.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "textconv.h"
#include "valuetext.h"

namespace {

const char kRawBufferMetaTable[] = "RawBufferMetaTable";

// Where an accessor works: base address and, for a full userdata, its block size.
struct Target {
  unsigned char* base = nullptr;
  bool bounded = false;
  size_t size = 0;
  lua_Integer off = 0;
};

// The buffer is the argument at index, the offset the one after it.
Target TargetAt(lua_State* L, int index) {
  Target t;
  if (index < 1) return t;
  t.base = static_cast<unsigned char*>(lua_touserdata(L, index));
  t.bounded = lua_type(L, index) == LUA_TUSERDATA;
  t.size = t.bounded ? lua_rawlen(L, index) : 0;
  t.off = lua_tointeger(L, index + 1);
  return t;
}

// The address of [off, off + width) when that range may be touched, else null.
unsigned char* Reach(const Target& t, size_t width) {
  if (!t.base) return nullptr;
  if (t.bounded) {
    if (t.off < 0 || static_cast<uint64_t>(t.off) > t.size || width > t.size - t.off) return nullptr;
  }
  return t.base + t.off;
}

Target Getter(lua_State* L) { return TargetAt(L, lua_gettop(L) - 1); }
Target Setter(lua_State* L) { return TargetAt(L, lua_gettop(L) - 2); }

template <class V>
int Get(lua_State* L) {
  unsigned char* p = Reach(Getter(L), sizeof(V));
  if (!p) {
    lua_pushnil(L);
    return 1;
  }
  V v;
  std::memcpy(&v, p, sizeof v);
  lua_pushnumber(L, static_cast<lua_Number>(v));
  return 1;
}

// Signed setters take lua_tointeger, unsigned ones lua_tounsigned (modulo 2^32); both
// keep the low bits of the width.
template <class V, bool kSigned>
int Set(lua_State* L) {
  unsigned char* p = Reach(Setter(L), sizeof(V));
  if (!p) return 0;
  int top = lua_gettop(L);
  V v = kSigned ? static_cast<V>(lua_tointeger(L, top)) : static_cast<V>(lua_tounsigned(L, top));
  std::memcpy(p, &v, sizeof v);
  return 0;
}

int GetBoolean(lua_State* L) {
  unsigned char* p = Reach(Getter(L), sizeof(uint32_t));
  if (!p) {
    lua_pushnil(L);
    return 1;
  }
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  lua_pushboolean(L, v != 0);
  return 1;
}

int SetBoolean(lua_State* L) {
  unsigned char* p = Reach(Setter(L), sizeof(uint32_t));
  if (!p) return 0;
  uint32_t v = lua_toboolean(L, lua_gettop(L)) ? 1 : 0;
  std::memcpy(p, &v, sizeof v);
  return 0;
}

// Text starting at off, up to its terminator or the end of a full userdata's block.
int GetWString(lua_State* L) {
  Target t = Getter(L);
  unsigned char* p = Reach(t, 0);
  if (!p) {
    lua_pushnil(L);
    return 1;
  }
  std::wstring text;
  if (t.bounded) {
    text = BlockWText(p, t.size - t.off);
  } else {
    for (const unsigned char* q = p;; q += 2) {
      wchar_t unit = static_cast<wchar_t>(q[0] | (q[1] << 8));
      if (!unit) break;
      text.push_back(unit);
    }
  }
  std::string utf8 = Utf16ToUtf8(text);
  lua_pushlstring(L, utf8.data(), utf8.size());
  return 1;
}

int GetAString(lua_State* L) {
  Target t = Getter(L);
  unsigned char* p = Reach(t, 0);
  if (!p) {
    lua_pushnil(L);
    return 1;
  }
  std::string ansi = t.bounded ? BlockAText(p, t.size - t.off) : std::string(reinterpret_cast<char*>(p));
  std::string utf8 = Utf16ToUtf8(AnsiToUtf16(ansi.c_str()));
  lua_pushlstring(L, utf8.data(), utf8.size());
  return 1;
}

// Copies the whole block of a userdata value; a script string is copied as the text
// of the setter's kind with its terminator. Other values copy nothing.
template <bool kWide>
int SetText(lua_State* L) {
  int top = lua_gettop(L);
  std::string bytes;
  if (lua_type(L, top) == LUA_TUSERDATA) {
    const char* block = static_cast<const char*>(lua_touserdata(L, top));
    bytes.assign(block, lua_rawlen(L, top));
  } else if (lua_type(L, top) == LUA_TSTRING) {
    if (kWide) {
      std::wstring w = ToWString(L, top);
      bytes.assign(reinterpret_cast<const char*>(w.c_str()), (w.size() + 1) * sizeof(wchar_t));
    } else {
      std::string a = ToAString(L, top);
      bytes.assign(a.c_str(), a.size() + 1);
    }
  } else {
    return 0;
  }
  unsigned char* p = Reach(Setter(L), bytes.size());
  if (p && !bytes.empty()) std::memmove(p, bytes.data(), bytes.size());
  return 0;
}

// The address of the byte at off itself; a full userdata allows the offsets 0 to its
// size (one past the end), so the result never points outside the block.
int GetPointer(lua_State* L) {
  unsigned char* p = Reach(Getter(L), 0);
  if (!p) {
    lua_pushnil(L);
    return 1;
  }
  lua_pushlightuserdata(L, p);
  return 1;
}

// Stores an address as a pointer of this target's width (4 bytes on 32-bit Windows,
// 8 on 64-bit), the layout of pointer fields in native structures.
int SetPointer(lua_State* L) {
  unsigned char* p = Reach(Setter(L), sizeof(void*));
  if (!p) return 0;
  void* v = lua_touserdata(L, lua_gettop(L));
  std::memcpy(p, &v, sizeof v);
  return 0;
}

int New(lua_State* L) {
  lua_Unsigned size = lua_tounsigned(L, 1);
  if (size == 0) {
    lua_pushnil(L);
    return 1;
  }
  void* block = lua_newuserdata(L, size);
  std::memset(block, 0, size);
  luaL_setmetatable(L, kRawBufferMetaTable);
  return 1;
}

}  // namespace

int luaopen_RawBuffer(lua_State* L) {
  static const luaL_Reg kMethods[] = {
      {"OffsetGetAsInt32", Get<int32_t>},
      {"OffsetGetAsUInt32", Get<uint32_t>},
      {"OffsetGetAsInt16", Get<int16_t>},
      {"OffsetGetAsUInt16", Get<uint16_t>},
      {"OffsetGetAsInt8", Get<int8_t>},
      {"OffsetGetAsUInt8", Get<uint8_t>},
      {"OffsetGetAsWString", GetWString},
      {"OffsetGetAsAString", GetAString},
      {"OffsetGetAsBoolean", GetBoolean},
      {"OffsetGetAsPointer", GetPointer},
      {"OffsetSetAsInt32", Set<int32_t, true>},
      {"OffsetSetAsUInt32", Set<uint32_t, false>},
      {"OffsetSetAsInt16", Set<int16_t, true>},
      {"OffsetSetAsUInt16", Set<uint16_t, false>},
      {"OffsetSetAsInt8", Set<int8_t, true>},
      {"OffsetSetAsUInt8", Set<uint8_t, false>},
      {"OffsetSetAsWString", SetText<true>},
      {"OffsetSetAsAString", SetText<false>},
      {"OffsetSetAsBoolean", SetBoolean},
      {"OffsetSetAsPointer", SetPointer},
      {nullptr, nullptr},
  };
  static const luaL_Reg kModule[] = {{"New", New}, {nullptr, nullptr}};
  luaL_newmetatable(L, kRawBufferMetaTable);
  lua_pushvalue(L, -1);
  lua_setfield(L, -2, "__index");
  luaL_setfuncs(L, kMethods, 0);
  lua_pop(L, 1);
  luaL_newlib(L, kModule);
  return 1;
}
