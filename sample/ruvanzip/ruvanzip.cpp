// RuvanZip, the sample product's main program: a small window that shows the archive it
// was asked to open. "sp Asso" / "sp unAsso" register and remove its file associations
// (the installer and uninstaller call them and wait); "/menu" is the Start-menu launch.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "associations.h"

namespace {

const wchar_t kWindowClass[] = L"RuvanZipWnd";

std::wstring SelfPath() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

struct View {
  std::wstring archive;  // the file given on the command line, if any
};

void Paint(HWND hwnd, const View& view) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT rc;
  GetClientRect(hwnd, &rc);
  HBRUSH band = CreateSolidBrush(RGB(0x1f, 0x6f, 0xeb));
  RECT header = {0, 0, rc.right, 56};
  FillRect(dc, &header, band);
  DeleteObject(band);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  RECT title = {20, 0, rc.right, 56};
  DrawTextW(dc, L"RuvanZip", -1, &title, DT_SINGLELINE | DT_VCENTER);
  SetTextColor(dc, RGB(0x33, 0x33, 0x33));
  RECT body = {20, 76, rc.right - 20, rc.bottom - 20};
  std::wstring text = view.archive.empty()
                          ? L"Drop an archive on RuvanZip, or open a .zip or .7z file with it."
                          : L"Archive: " + view.archive;
  DrawTextW(dc, text.c_str(), -1, &body, DT_WORDBREAK);
  EndPaint(hwnd, &ps);
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* view = reinterpret_cast<View*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  switch (msg) {
    case WM_CREATE:
      SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
      return 0;
    case WM_PAINT:
      if (view) Paint(hwnd, *view);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

int RunWindow(HINSTANCE instance, View& view, int show) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WndProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kWindowClass;
  if (!RegisterClassExW(&wc)) return 1;
  HWND hwnd = CreateWindowExW(0, kWindowClass, L"RuvanZip", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                              CW_USEDEFAULT, 640, 400, nullptr, nullptr, instance, &view);
  if (!hwnd) return 1;
  ShowWindow(hwnd, show);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  const std::wstring first = argv && argc > 1 ? argv[1] : L"";
  const std::wstring second = argv && argc > 2 ? argv[2] : L"";
  LocalFree(argv);
  View view;
  if (first == L"sp" && second == L"Asso") return associations::Register(SelfPath()) ? 0 : 1;
  if (first == L"sp" && second == L"unAsso") return associations::Remove() ? 0 : 1;
  if (!first.empty() && first != L"/menu") view.archive = first;
  return RunWindow(instance, view, show);
}
