#include "markupvalues.h"

#include <cstdlib>
#include <cwchar>

namespace skin {

std::wstring FromUtf8(const char* text) {
  std::wstring out;
  if (!text) return out;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (*p) {
    uint32_t cp;
    int extra;
    unsigned char c = *p++;
    if (c < 0x80) { cp = c; extra = 0; }
    else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; extra = 1; }
    else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; extra = 2; }
    else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; extra = 3; }
    else { out.push_back(0xFFFD); continue; }
    bool bad = false;
    for (int i = 0; i < extra; ++i) {
      if ((*p & 0xC0) != 0x80) { bad = true; break; }
      cp = (cp << 6) | (*p++ & 0x3F);
    }
    if (bad || cp > 0x10FFFF) { out.push_back(0xFFFD); continue; }
    if (sizeof(wchar_t) == 2 && cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<wchar_t>(cp));
    }
  }
  return out;
}

std::string ToUtf8(const std::wstring& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t cp = static_cast<uint32_t>(text[i]);
    if (sizeof(wchar_t) == 2 && cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size()) {
      uint32_t lo = static_cast<uint32_t>(text[i + 1]);
      if (lo >= 0xDC00 && lo < 0xE000) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
        ++i;
      }
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

bool ParseBool(const std::wstring& value) { return value == L"true"; }

int ParseInt(const std::wstring& value) {
  return static_cast<int>(std::wcstol(value.c_str(), nullptr, 10));
}

// Reads up to `count` comma-separated integers; fields that are missing stay 0.
static void ParseInts(const std::wstring& value, int* out, int count) {
  const wchar_t* p = value.c_str();
  for (int i = 0; i < count; ++i) {
    wchar_t* end = nullptr;
    long v = std::wcstol(p, &end, 10);
    if (end == p) return;
    out[i] = static_cast<int>(v);
    p = end;
    while (*p == L' ') ++p;
    if (*p != L',') return;
    ++p;
  }
}

Rect ParseRect(const std::wstring& value) {
  int v[4] = {0, 0, 0, 0};
  ParseInts(value, v, 4);
  return {v[0], v[1], v[2], v[3]};
}

Size ParseSize(const std::wstring& value) {
  int v[2] = {0, 0};
  ParseInts(value, v, 2);
  return {v[0], v[1]};
}

Color ParseColor(const std::wstring& value) {
  const wchar_t* p = value.c_str();
  if (*p == L'#') ++p;
  uint32_t color = 0;
  for (; *p; ++p) {
    uint32_t digit;
    if (*p >= L'0' && *p <= L'9') digit = static_cast<uint32_t>(*p - L'0');
    else if (*p >= L'a' && *p <= L'z') digit = static_cast<uint32_t>(*p - L'a' + 10);
    else if (*p >= L'A' && *p <= L'Z') digit = static_cast<uint32_t>(*p - L'A' + 10);
    else break;
    color = color * 16u + digit;
  }
  return color;
}

template <typename F>
static void ForEachWord(const std::wstring& value, F f) {
  size_t i = 0;
  while (i < value.size()) {
    while (i < value.size() && (value[i] == L',' || value[i] == L' ' || value[i] == L'\t')) ++i;
    size_t start = i;
    while (i < value.size() && value[i] != L',' && value[i] != L' ' && value[i] != L'\t') ++i;
    if (i > start) f(value.substr(start, i - start));
  }
}

unsigned ParseAlignWord(const std::wstring& w) {
  if (w == L"center") return kAlignCenter;
  if (w == L"right") return kAlignRight;
  if (w == L"vcenter") return kAlignVCenter;
  if (w == L"bottom") return kAlignBottom;
  return 0;
}

unsigned ParseFloatAlign(const std::wstring& value) {
  unsigned flags = 0;
  ForEachWord(value, [&](const std::wstring& w) {
    if (w == L"nullptr") flags = 0;
    else flags |= ParseAlignWord(w);
  });
  return flags;
}

}  // namespace skin
