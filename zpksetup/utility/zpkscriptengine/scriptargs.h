// The conventions every installation primitive shares: arguments are positional and
// never checked (absent or wrongly typed values read as empty text, 0 or false), script
// text is UTF-8, native text UTF-16, path arguments get environment references
// expanded, and failures are reported as debug-output lines, never as script errors.
#pragma once
#include <lua/lua.hpp>

#include <string>

namespace scriptargs {

constexpr size_t kPathUnits = 260;  // the expansion buffer of path arguments

// Text argument: lua_tolstring (numbers become their text, other values no text).
std::wstring Text(lua_State* L, int index);
// Path argument: Text, then environment references expanded into kPathUnits units.
// False when the expansion does not fit; the primitive then fails as for a missing path.
bool Path(lua_State* L, int index, std::wstring& out);
std::wstring Expand(const std::wstring& text, bool* fits = nullptr);

lua_Integer Integer(lua_State* L, int index);
lua_Unsigned Unsigned(lua_State* L, int index);
bool Boolean(lua_State* L, int index);

// Results.
int PushBoolean(lua_State* L, bool value);
int PushText(lua_State* L, const std::wstring& value);

// "Fun:<primitive>, Description:<path> it's not exists!\r\n"
void ReportMissing(const wchar_t* primitive, const std::wstring& path);

// A path argument that must name something existing (PathFileExistsW): otherwise the
// missing-path line (with the unexpanded text when the expansion did not fit) and false.
bool ExistingPath(lua_State* L, int index, const wchar_t* primitive, std::wstring& out);

}  // namespace scriptargs
