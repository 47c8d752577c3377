// exitcode.exe RESULT PROGRAM [ARGS...]: runs the program, waits for it and writes its
// whole exit code (decimal) into the file RESULT. Wine hands a Windows program's exit
// code to Linux as an 8-bit status, so codes such as 1603 or 3010 reach a test only
// this way; the result goes to a file because a test must not capture the output of
// programs that start others (they would hold the pipe open).
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

// The next argument of a command line (quoted or not), and where the rest begins.
std::wstring NextArgument(const wchar_t*& line) {
  while (*line == L' ' || *line == L'\t') ++line;
  std::wstring arg;
  if (*line == L'"') {
    const wchar_t* end = std::wcschr(line + 1, L'"');
    arg.assign(line + 1, end ? end : line + std::wcslen(line));
    line = end ? end + 1 : line + std::wcslen(line);
  } else {
    while (*line && *line != L' ' && *line != L'\t') arg += *line++;
  }
  while (*line == L' ' || *line == L'\t') ++line;
  return arg;
}

}  // namespace

int wmain() {
  const wchar_t* line = GetCommandLineW();
  NextArgument(line);  // this program
  const std::wstring result = NextArgument(line);
  std::wstring command = line;
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (result.empty() || command.empty() ||
      !CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return 1;
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  FILE* out = _wfopen(result.c_str(), L"w");
  if (!out) return 1;
  std::fprintf(out, "%lu\n", code);
  std::fclose(out);
  return 0;
}
