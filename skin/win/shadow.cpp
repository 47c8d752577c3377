#include "shadow.h"

#include <algorithm>
#include <cstdint>
#include <cmath>
#include <vector>

namespace skin {

namespace {
const wchar_t kClass[] = L"ZpkSkinShadow";

void RegisterShadowClass() {
  static bool done = false;
  if (done) return;
  WNDCLASSEXW wc{sizeof(wc)};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kClass;
  RegisterClassExW(&wc);
  done = true;
}
}  // namespace

CShadowWindow::~CShadowWindow() {
  if (m_hwnd) DestroyWindow(m_hwnd);
}

bool CShadowWindow::Create(HWND owner) {
  RegisterShadowClass();
  // Not owned by the window: owned windows always stay above their owner.
  m_hwnd = CreateWindowExW(WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kClass, L"",
                           WS_POPUP, 0, 0, 0, 0, GetWindow(owner, GW_OWNER), nullptr, GetModuleHandleW(nullptr), nullptr);
  return m_hwnd != nullptr;
}

void CShadowWindow::Update(HWND owner) {
  if (!m_hwnd) return;
  if (!IsWindowVisible(owner) || IsIconic(owner)) {
    ShowWindow(m_hwnd, SW_HIDE);
    return;
  }
  RECT rc;
  GetWindowRect(owner, &rc);
  int w = rc.right - rc.left + 2 * m_size, h = rc.bottom - rc.top + 2 * m_size;
  if (w <= 0 || h <= 0) return;
  POINT pos{rc.left - m_size, rc.top - m_size};
  if (m_drawn.cx != w || m_drawn.cy != h) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dib) return;
    // Alpha falls off with the distance from the window's rectangle (inside: clear).
    auto* px = static_cast<uint32_t*>(bits);
    const double s = m_size;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        double dx = std::max({0.0, m_size - x - 0.5, x + 0.5 - (w - m_size)});
        double dy = std::max({0.0, m_size - y - 0.5, y + 0.5 - (h - m_size)});
        double d = std::sqrt(dx * dx + dy * dy);
        uint32_t a = 0;
        if ((dx > 0 || dy > 0) && d < s) {
          double t = 1.0 - d / s;
          a = static_cast<uint32_t>(60.0 * t * t);
        }
        px[static_cast<size_t>(y) * w + x] = a << 24;  // premultiplied black
      }
    }
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(mem, dib);
    SIZE size{w, h};
    POINT src{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UpdateLayeredWindow(m_hwnd, screen, &pos, &size, mem, &src, 0, &blend, ULW_ALPHA);
    SelectObject(mem, old);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    DeleteObject(dib);
    m_drawn = {w, h};
  }
  SetWindowPos(m_hwnd, owner, pos.x, pos.y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

}  // namespace skin
