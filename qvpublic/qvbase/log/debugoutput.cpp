#include "log/debugoutput.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cwchar>

namespace qd {
namespace {

std::atomic<Hook> g_hook{nullptr};

void Emit(const wchar_t* line) {
  OutputDebugStringW(line);
  if (Hook hook = g_hook.load()) hook(line);
}

// Starts a line buffer with the marker; returns the units that are left for text.
wchar_t* StartLine(wchar_t (&buf)[kLineUnits]) {
  buf[0] = L'q';
  buf[1] = L'd';
  buf[2] = L' ';
  buf[3] = 0;
  return buf + 3;
}

constexpr size_t kTextUnits = kLineUnits - 3;  // marker excluded, terminator included

}  // namespace

void OutputV(const wchar_t* format, va_list args) {
  wchar_t buf[kLineUnits];
  wchar_t* text = StartLine(buf);
  // _vsnwprintf neither terminates nor fails cleanly on overflow: terminate ourselves.
  int n = _vsnwprintf(text, kTextUnits - 1, format, args);
  text[(n < 0 || static_cast<size_t>(n) >= kTextUnits - 1) ? kTextUnits - 1 : n] = 0;
  Emit(buf);
}

void Output(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  OutputV(format, args);
  va_end(args);
}

void OutputText(const wchar_t* text) {
  wchar_t buf[kLineUnits];
  wchar_t* dst = StartLine(buf);
  wcsncpy(dst, text ? text : L"", kTextUnits - 1);
  dst[kTextUnits - 1] = 0;
  Emit(buf);
}

void ErrorTrace(const wchar_t* message, const char* file, int line) {
  DWORD err = GetLastError();
  const wchar_t* m = message ? message : L"";
  wchar_t path[MAX_PATH * 2];
  MultiByteToWideChar(CP_ACP, 0, file, -1, path, MAX_PATH * 2);
  path[MAX_PATH * 2 - 1] = 0;
  // The message is the caller's text, so it is copied, never used as a format.
  wchar_t buf[kLineUnits];
  _snwprintf(buf, kLineUnits - 1, L"%lsqd file:%ls\r\n", m, path);
  buf[kLineUnits - 1] = 0;
  OutputText(buf);
  _snwprintf(buf, kLineUnits - 1, L"%lsqd line:%d\r\n", m, line);
  buf[kLineUnits - 1] = 0;
  OutputText(buf);
  _snwprintf(buf, kLineUnits - 1, L"%lsqd err:%lu\r\n", m, static_cast<unsigned long>(err));
  buf[kLineUnits - 1] = 0;
  OutputText(buf);
  SetLastError(err);
}

void SetHook(Hook hook) { g_hook.store(hook); }

}  // namespace qd
