// Script values as native text: what AString, WString and the RawBuffer text setters
// take as their text. Strings and numbers are the script's UTF-8; AString and WString
// values give their own text; anything else gives empty text.
#pragma once
#include <lua/lua.hpp>

#include <cstddef>
#include <string>

extern const char kAStringMetaTable[];
extern const char kWStringMetaTable[];

// The thread's ANSI code page form of the value at index.
std::string ToAString(lua_State* L, int index);
// The UTF-16 form of the value at index.
std::wstring ToWString(lua_State* L, int index);

// The text of a string block: the units before the first NUL, never reading past the
// block (a RawBuffer setter can overwrite the terminator of a string's block).
std::string BlockAText(const void* block, size_t bytes);
std::wstring BlockWText(const void* block, size_t bytes);
