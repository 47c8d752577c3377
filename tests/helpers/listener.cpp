// listener.exe HWNDFILE EVENTSFILE [RELEASEFILE]: a window that stands for an installer's
// caller. It writes its handle in decimal to HWNDFILE (complete when the file appears),
// appends "3014 wParam=W lParam=L" to EVENTSFILE for every message 3014 it receives and,
// when RELEASEFILE is given, answers each 3014 only once that file exists (so the sender
// stays inside SendMessageW). Ends on WM_CLOSE or after 120 s; the exit code is the
// number of 3014 messages received.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

const UINT kMsgInstallListener = 3014;
std::wstring g_events, g_release;
int g_received = 0;

void Append(const std::wstring& path, const std::string& line) {
  HANDLE f = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  DWORD n = 0;
  WriteFile(f, line.data(), static_cast<DWORD>(line.size()), &n, nullptr);
  CloseHandle(f);
}

void WaitForRelease() {
  if (g_release.empty()) return;
  for (int i = 0; i < 2400 && GetFileAttributesW(g_release.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
    Sleep(50);
}

LRESULT CALLBACK Proc(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case kMsgInstallListener: {
      ++g_received;
      char line[96];
      snprintf(line, sizeof line, "3014 wParam=%llu lParam=%lld\r\n",
               static_cast<unsigned long long>(wp), static_cast<long long>(lp));
      Append(g_events, line);
      WaitForRelease();
      return 0;
    }
    case WM_TIMER:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, msg, wp, lp);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return -1;
  g_events = argv[2];
  if (argc > 3) g_release = argv[3];

  WNDCLASSW wc = {};
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"ZpkTestListener";
  RegisterClassW(&wc);
  HWND window = CreateWindowExW(0, wc.lpszClassName, L"listener", WS_OVERLAPPED, 0, 0, 10, 10,
                                nullptr, nullptr, wc.hInstance, nullptr);
  if (!window) return -2;
  SetTimer(window, 1, 120000, nullptr);

  const std::wstring hwndFile = argv[1];
  const std::wstring partial = hwndFile + L".part";
  const std::string number =
      std::to_string(static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(window)));
  DeleteFileW(partial.c_str());
  Append(partial, number);
  MoveFileExW(partial.c_str(), hwndFile.c_str(), MOVEFILE_REPLACE_EXISTING);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return g_received;
}
