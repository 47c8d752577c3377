#include "scriptargs.h"

#include <windows.h>
#include <shlwapi.h>

#include "log/debugoutput.h"
#include "textconv.h"

namespace scriptargs {

std::wstring Text(lua_State* L, int index) {
  size_t len = 0;
  // lua_tolstring converts a number in place; work on a copy so that a primitive never
  // changes the script's own value (and a table key stays a number).
  lua_pushvalue(L, index);
  const char* text = lua_tolstring(L, -1, &len);
  std::wstring out = text ? Utf8ToUtf16(text, len) : std::wstring();
  lua_pop(L, 1);
  return out;
}

std::wstring Expand(const std::wstring& text, bool* fits) {
  wchar_t buf[kPathUnits];
  DWORD needed = ExpandEnvironmentStringsW(text.c_str(), buf, kPathUnits);
  bool ok = needed != 0 && needed <= kPathUnits;
  if (fits) *fits = ok;
  return ok ? std::wstring(buf) : std::wstring();
}

bool Path(lua_State* L, int index, std::wstring& out) {
  bool fits = false;
  out = Expand(Text(L, index), &fits);
  return fits;
}

lua_Integer Integer(lua_State* L, int index) { return lua_tointeger(L, index); }
lua_Unsigned Unsigned(lua_State* L, int index) { return lua_tounsigned(L, index); }
bool Boolean(lua_State* L, int index) { return lua_toboolean(L, index) != 0; }

int PushBoolean(lua_State* L, bool value) {
  lua_pushboolean(L, value ? 1 : 0);
  return 1;
}

int PushText(lua_State* L, const std::wstring& value) {
  const std::string utf8 = Utf16ToUtf8(value);
  lua_pushlstring(L, utf8.data(), utf8.size());
  return 1;
}

void ReportMissing(const wchar_t* primitive, const std::wstring& path) {
  qd::Output(L"Fun:%ls, Description:%ls it's not exists!\r\n", primitive, path.c_str());
}

bool ExistingPath(lua_State* L, int index, const wchar_t* primitive, std::wstring& out) {
  if (!Path(L, index, out)) {
    ReportMissing(primitive, Text(L, index));
    return false;
  }
  if (!PathFileExistsW(out.c_str())) {
    ReportMissing(primitive, out);
    return false;
  }
  return true;
}

}  // namespace scriptargs
