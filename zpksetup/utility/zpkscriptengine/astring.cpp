#include "astring.h"

#include <windows.h>

#include "stringtype.h"
#include "textconv.h"
#include "valuetext.h"

namespace {

struct AnsiTraits {
  using Unit = char;
  static constexpr const char* kMeta = kAStringMetaTable;
  static std::string ToText(lua_State* L, int index) { return ToAString(L, index); }
  static std::string BlockText(const void* block, size_t bytes) { return BlockAText(block, bytes); }
  static std::string FromUtf8(const char* utf8, size_t len) {
    return Utf16ToAnsi(Utf8ToUtf16(utf8, len).c_str());
  }
  static std::string TextToUtf8(const std::string& text) {
    return Utf16ToUtf8(AnsiToUtf16(text.c_str()));
  }
  // One byte as a character of the ANSI code page; a byte that is not a whole
  // character there (a lead byte of a double-byte code page) gives U+FFFD.
  static std::string UnitToUtf8(char unit) {
    const char one[2] = {unit, 0};
    std::wstring wide = AnsiToUtf16(one);
    return wide.empty() ? std::string("\xEF\xBF\xBD") : Utf16ToUtf8(wide);
  }
  static int Compare(const std::string& a, const std::string& b) {
    return lstrcmpA(a.c_str(), b.c_str());
  }
};

}  // namespace

int luaopen_AString(lua_State* L) { return stringtype::Type<AnsiTraits>::Open(L); }
