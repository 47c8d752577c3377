// latemark.exe MILLISECONDS FILE [WORDS...]: waits, then writes one line to FILE and
// exits, so a test can tell whether its starter waited for it and how it was started:
// "show=<wShowWindow, -1 when not given> dir=<current directory> args=<WORDS...>".
// Started without arguments (the desktop shell drops them), it reports at once into
// "<its own path>.report": copy it under a name of the test's own to use that.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring file = argc >= 3 ? argv[2] : std::wstring(self) + L".report";
  if (argc >= 3) Sleep(static_cast<DWORD>(_wtoi(argv[1])));
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  GetStartupInfoW(&si);
  const int show = (si.dwFlags & STARTF_USESHOWWINDOW) ? si.wShowWindow : -1;
  wchar_t dir[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, dir);
  std::wstring words;
  for (int i = 3; i < argc; ++i) words += (i > 3 ? L" " : L"") + std::wstring(argv[i]);
  std::wstring line = L"show=" + std::to_wstring(show) + L" dir=" + dir + L" args=" + words;
  // Written under a temporary name and renamed, so a reader never sees half a line.
  const std::wstring tmp = file + L".part";
  FILE* f = _wfopen(tmp.c_str(), L"wb");
  if (!f) return 3;
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(bytes > 0 ? bytes - 1 : 0), '\0');
  if (bytes > 1) WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, &utf8[0], bytes, nullptr, nullptr);
  fwrite(utf8.data(), 1, utf8.size(), f);
  fclose(f);
  return MoveFileExW(tmp.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 4;
}
