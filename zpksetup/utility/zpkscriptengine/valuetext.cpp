#include "valuetext.h"

#include <cstring>

#include "textconv.h"

const char kAStringMetaTable[] = "AStringMetaTable";
const char kWStringMetaTable[] = "WStringMetaTable";

namespace {

// lua_tolstring would turn a number on the stack into a string in place; read a copy.
bool ScriptText(lua_State* L, int index, std::string& out) {
  int type = lua_type(L, index);
  if (type != LUA_TSTRING && type != LUA_TNUMBER) return false;
  lua_pushvalue(L, index);
  size_t len = 0;
  const char* text = lua_tolstring(L, -1, &len);
  out.assign(text, len);
  lua_pop(L, 1);
  return true;
}

}  // namespace

std::string BlockAText(const void* block, size_t bytes) {
  const char* p = static_cast<const char*>(block);
  const void* nul = p ? std::memchr(p, 0, bytes) : nullptr;
  return p ? std::string(p, nul ? static_cast<const char*>(nul) - p : bytes) : std::string();
}

std::wstring BlockWText(const void* block, size_t bytes) {
  std::wstring out;
  if (!block) return out;
  const unsigned char* p = static_cast<const unsigned char*>(block);
  for (size_t i = 0; i + 1 < bytes; i += 2) {
    wchar_t unit = static_cast<wchar_t>(p[i] | (p[i + 1] << 8));
    if (unit == 0) break;
    out.push_back(unit);
  }
  return out;
}

std::string ToAString(lua_State* L, int index) {
  std::string text;
  if (ScriptText(L, index, text)) return Utf16ToAnsi(Utf8ToUtf16(text).c_str());
  if (void* a = luaL_testudata(L, index, kAStringMetaTable)) {
    return BlockAText(a, lua_rawlen(L, index));
  }
  if (void* w = luaL_testudata(L, index, kWStringMetaTable)) {
    return Utf16ToAnsi(BlockWText(w, lua_rawlen(L, index)).c_str());
  }
  return std::string();
}

std::wstring ToWString(lua_State* L, int index) {
  std::string text;
  if (ScriptText(L, index, text)) return Utf8ToUtf16(text);
  if (void* a = luaL_testudata(L, index, kAStringMetaTable)) {
    return AnsiToUtf16(BlockAText(a, lua_rawlen(L, index)).c_str());
  }
  if (void* w = luaL_testudata(L, index, kWStringMetaTable)) {
    return BlockWText(w, lua_rawlen(L, index));
  }
  return std::wstring();
}
