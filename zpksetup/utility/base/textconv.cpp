#include "textconv.h"

#include <windows.h>

#include <cstring>

namespace {

std::wstring ToWide(UINT codePage, const char* text, int bytes) {
  if (!text || bytes <= 0) return {};
  int units = MultiByteToWideChar(codePage, 0, text, bytes, nullptr, 0);
  if (units <= 0) return {};
  std::wstring out(static_cast<size_t>(units), L'\0');
  MultiByteToWideChar(codePage, 0, text, bytes, &out[0], units);
  return out;
}

std::string ToNarrow(UINT codePage, const wchar_t* text) {
  if (!text || !*text) return {};
  int bytes = WideCharToMultiByte(codePage, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 1) return {};
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(codePage, 0, text, -1, &out[0], bytes, nullptr, nullptr);
  out.resize(static_cast<size_t>(bytes) - 1);
  return out;
}

}  // namespace

std::wstring Utf8ToUtf16(const char* text) {
  return text ? ToWide(CP_UTF8, text, static_cast<int>(std::strlen(text))) : std::wstring();
}
std::wstring Utf8ToUtf16(const char* text, size_t bytes) {
  return ToWide(CP_UTF8, text, static_cast<int>(bytes));
}
std::string Utf16ToUtf8(const wchar_t* text) { return ToNarrow(CP_UTF8, text); }
std::wstring AnsiToUtf16(const char* text) {
  return text ? ToWide(CP_ACP, text, static_cast<int>(std::strlen(text))) : std::wstring();
}
std::string Utf16ToAnsi(const wchar_t* text) { return ToNarrow(CP_ACP, text); }
