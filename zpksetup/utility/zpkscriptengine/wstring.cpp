#include "wstring.h"

#include <windows.h>

#include "stringtype.h"
#include "textconv.h"
#include "valuetext.h"

namespace {

struct WideTraits {
  using Unit = wchar_t;
  static constexpr const char* kMeta = kWStringMetaTable;
  static std::wstring ToText(lua_State* L, int index) { return ToWString(L, index); }
  static std::wstring BlockText(const void* block, size_t bytes) { return BlockWText(block, bytes); }
  static std::wstring FromUtf8(const char* utf8, size_t len) { return Utf8ToUtf16(utf8, len); }
  static std::string TextToUtf8(const std::wstring& text) { return Utf16ToUtf8(text); }
  static std::string UnitToUtf8(wchar_t unit) {
    const wchar_t one[2] = {unit, 0};
    return Utf16ToUtf8(one);
  }
  static int Compare(const std::wstring& a, const std::wstring& b) {
    return lstrcmpW(a.c_str(), b.c_str());
  }
};

}  // namespace

int luaopen_WString(lua_State* L) { return stringtype::Type<WideTraits>::Open(L); }
