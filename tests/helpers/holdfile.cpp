// holdfile PATH none|delete MARKER [SECONDS]: opens PATH for writing with no sharing, or
// with delete sharing only (as a running program's image is held), writes MARKER once it
// holds the file and keeps it for SECONDS (60 by default) or until it is ended.
#include <windows.h>

#include <cwchar>
#include <cwctype>

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return 2;
  DWORD share = std::wcscmp(argv[2], L"delete") == 0 ? FILE_SHARE_DELETE : 0;
  HANDLE held = CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (held == INVALID_HANDLE_VALUE) return 3;
  HANDLE marker = CreateFileW(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (marker == INVALID_HANDLE_VALUE) return 4;
  CloseHandle(marker);
  int seconds = argc > 4 ? _wtoi(argv[4]) : 60;
  Sleep(static_cast<DWORD>(seconds) * 1000);
  CloseHandle(held);
  return 0;
}
