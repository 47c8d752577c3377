// A program with one top-level window of a given class, for the tests that end programs.
//   closewnd.exe CLASS close|ignore LOGFILE
// Every message posted to the window is appended to LOGFILE as "message wparam lparam"
// (decimal), written straight to the file so the lines survive a termination. With
// "close" the window closes on a close request and the program exits with 42; with
// "ignore" close requests are swallowed and only termination ends it.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

bool g_ignore = false;
HANDLE g_log = INVALID_HANDLE_VALUE;

void LogPosted(const MSG& msg) {
  char line[96];
  int n = snprintf(line, sizeof line, "%u %llu %lld\n", msg.message,
                   static_cast<unsigned long long>(msg.wParam), static_cast<long long>(msg.lParam));
  DWORD written = 0;
  WriteFile(g_log, line, static_cast<DWORD>(n), &written, nullptr);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) == SC_CLOSE && g_ignore) return 0;
      break;
    case WM_CLOSE:
      if (g_ignore) return 0;
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(42);
      return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  g_ignore = strcmp(argv[2], "ignore") == 0;
  g_log = CreateFileA(argv[3], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_ALWAYS, 0, nullptr);
  WNDCLASSA wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = argv[1];
  if (!RegisterClassA(&wc)) return 3;
  HWND window = CreateWindowExA(0, argv[1], "closewnd", WS_OVERLAPPEDWINDOW, 0, 0, 120, 80,
                                nullptr, nullptr, wc.hInstance, nullptr);
  if (!window) return 4;
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (msg.hwnd == window) LogPosted(msg);
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return static_cast<int>(msg.wParam);
}
