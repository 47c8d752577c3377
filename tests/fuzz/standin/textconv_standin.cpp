// The text conversions of zpksetup/utility/base/textconv.h for the native fuzz build,
// behaving as Windows does for what the value types rely on: UTF-8 decoding replaces
// malformed bytes with U+FFFD, UTF-16 encoding replaces lone surrogates with U+FFFD, and
// the ANSI code page is Latin-1 (units above 0xFF become '?', the default character).
// UTF-16 units are held one per wchar_t, as on Windows.
#include "textconv.h"

#include <cstdint>
#include <cstring>

namespace {

void PutUtf16(std::wstring& out, uint32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(static_cast<wchar_t>(cp));
  }
}

void PutUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// One code point from s[i..n); i moves past it (one byte for a malformed sequence).
uint32_t NextUtf8(const unsigned char* s, size_t n, size_t& i) {
  const unsigned char b = s[i++];
  if (b < 0x80) return b;
  const int extra = b >= 0xF0 && b < 0xF5 ? 3 : b >= 0xE0 ? 2 : b >= 0xC2 && b < 0xE0 ? 1 : -1;
  if (extra < 0 || i + extra > n) return 0xFFFD;
  uint32_t cp = b & (0x3F >> extra);
  for (int k = 0; k < extra; ++k) {
    if ((s[i + k] & 0xC0) != 0x80) return 0xFFFD;
    cp = (cp << 6) | (s[i + k] & 0x3F);
  }
  const uint32_t least[] = {0, 0x80, 0x800, 0x10000};
  if (cp < least[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) return 0xFFFD;
  i += extra;
  return cp;
}

}  // namespace

std::wstring Utf8ToUtf16(const char* text, size_t bytes) {
  std::wstring out;
  if (!text) return out;
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  for (size_t i = 0; i < bytes;) PutUtf16(out, NextUtf8(s, bytes, i));
  return out;
}

std::wstring Utf8ToUtf16(const char* text) { return text ? Utf8ToUtf16(text, std::strlen(text)) : std::wstring(); }

std::string Utf16ToUtf8(const wchar_t* text) {
  std::string out;
  for (size_t i = 0; text && text[i]; ++i) {
    const uint32_t u = static_cast<uint32_t>(text[i]) & 0xFFFF;
    const uint32_t next = static_cast<uint32_t>(text[i + 1]) & 0xFFFF;
    if (u >= 0xD800 && u < 0xDC00 && next >= 0xDC00 && next < 0xE000) {
      PutUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (next - 0xDC00));
      ++i;
    } else {
      PutUtf8(out, u >= 0xD800 && u < 0xE000 ? 0xFFFD : u);
    }
  }
  return out;
}

std::wstring AnsiToUtf16(const char* text) {
  std::wstring out;
  for (const char* p = text; p && *p; ++p) out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*p)));
  return out;
}

std::string Utf16ToAnsi(const wchar_t* text) {
  std::string out;
  for (size_t i = 0; text && text[i]; ++i) {
    const uint32_t u = static_cast<uint32_t>(text[i]);
    out += u < 0x100 ? static_cast<char>(u) : '?';
  }
  return out;
}
