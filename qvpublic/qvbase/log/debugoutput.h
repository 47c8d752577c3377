// Debug-output lines: every line starts with "qd ", is at most 1024 UTF-16 units
// (terminator included) and goes to OutputDebugStringW, one call per line.
#pragma once
#include <cstdarg>

namespace qd {

constexpr int kLineUnits = 1024;

// printf-style wide formatting. Use %ls for UTF-16 text, %hs for narrow text, so the
// meaning does not depend on which C runtime printf family the compiler picks.
void Output(const wchar_t* format, ...);
void OutputV(const wchar_t* format, va_list args);

// A caller's text taken literally (paths, script messages), never as a format.
void OutputText(const wchar_t* text);

// The three-line trace after a failed system call: M + "qd file:", M + "qd line:",
// M + "qd err:" (GetLastError at the time of the call).
void ErrorTrace(const wchar_t* message, const char* file, int line);

// Test seam: when set, every line is also handed to the hook (after the marker was
// added and the length was cut), on the calling thread.
using Hook = void (*)(const wchar_t* line);
void SetHook(Hook hook);

}  // namespace qd

#define QD_ERROR_TRACE(msg) ::qd::ErrorTrace((msg), __FILE__, __LINE__)
