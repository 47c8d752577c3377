// Conversions between the script side's UTF-8, the native side's UTF-16 and the
// thread's ANSI code page. A null or empty input gives an empty output.
#pragma once
#include <string>

std::wstring Utf8ToUtf16(const char* text);
std::wstring Utf8ToUtf16(const char* text, size_t bytes);
std::string Utf16ToUtf8(const wchar_t* text);
std::wstring AnsiToUtf16(const char* text);
std::string Utf16ToAnsi(const wchar_t* text);

inline std::wstring Utf8ToUtf16(const std::string& s) { return Utf8ToUtf16(s.data(), s.size()); }
inline std::string Utf16ToUtf8(const std::wstring& s) { return Utf16ToUtf8(s.c_str()); }
