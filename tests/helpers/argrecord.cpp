// argrecord: stands in for a system program whose effect Wine does not have (netsh's
// firewall commands). Appends its command line's arguments, as UTF-8, one run per line,
// to the file named by ZPK_ARGRECORD (default: its own path followed by ".txt"), exit 0.
#include <windows.h>

#include <string>

namespace {

// The command line after the program's name (quoted or not) and the blanks behind it.
const wchar_t* SkipProgram(const wchar_t* line) {
  if (*line == L'"') {
    ++line;
    while (*line && *line != L'"') ++line;
    if (*line) ++line;
  } else {
    while (*line && *line != L' ' && *line != L'\t') ++line;
  }
  while (*line == L' ' || *line == L'\t') ++line;
  return line;
}

}  // namespace

int wmain() {
  wchar_t target[MAX_PATH];
  DWORD n = GetEnvironmentVariableW(L"ZPK_ARGRECORD", target, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) {
    n = GetModuleFileNameW(nullptr, target, MAX_PATH - 4);
    if (n == 0 || n >= MAX_PATH - 4) return 2;
    lstrcatW(target, L".txt");
  }
  const wchar_t* args = SkipProgram(GetCommandLineW());
  int bytes = WideCharToMultiByte(CP_UTF8, 0, args, -1, nullptr, 0, nullptr, nullptr);
  std::string text(bytes > 0 ? bytes - 1 : 0, '\0');
  if (bytes > 1) WideCharToMultiByte(CP_UTF8, 0, args, -1, &text[0], bytes, nullptr, nullptr);
  text += '\n';
  HANDLE file = CreateFileW(target, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  DWORD written = 0;
  BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == text.size() ? 0 : 4;
}
