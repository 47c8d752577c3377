#include "tooltip.h"

#include <algorithm>

#include "uitypes.h"

namespace skin {

namespace {

constexpr UINT kTextFlags = DT_NOPREFIX | DT_WORDBREAK | DT_EXPANDTABS;

COLORREF FromArgb(uint32_t argb, int sysColor) {
  if (argb == 0) return GetSysColor(sysColor);
  return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
}

// A border between the two colours, so that a tooltip as light as the window stays visible.
COLORREF Mix(COLORREF a, COLORREF b) {
  return RGB((GetRValue(a) + GetRValue(b)) / 2, (GetGValue(a) + GetGValue(b)) / 2, (GetBValue(a) + GetBValue(b)) / 2);
}

}  // namespace

CToolTipWindow::~CToolTipWindow() {
  if (m_hwnd && IsWindow(m_hwnd)) {
    SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
    DestroyWindow(m_hwnd);
  }
}

LRESULT CALLBACK CToolTipWindow::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<CToolTipWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  switch (msg) {
    case WM_NCHITTEST:
      return HTTRANSPARENT;  // the mouse goes to the window below
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      if (self) self->Paint(dc);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_NCDESTROY:
      // Destroyed with its owner: forget the handle.
      if (self) self->m_hwnd = nullptr;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      break;
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

bool CToolTipWindow::Create(HWND owner) {
  if (m_hwnd && m_owner == owner) return true;
  if (m_hwnd) DestroyWindow(m_hwnd);
  HINSTANCE inst = GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{sizeof(wc)};
  if (!GetClassInfoExW(inst, kClassName, &wc)) {
    wc = WNDCLASSEXW{sizeof(wc)};
    wc.style = CS_SAVEBITS;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kClassName;
    if (!RegisterClassExW(&wc)) return false;
  }
  m_hwnd = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE, kClassName, L"", WS_POPUP, 0, 0, 1, 1,
                           owner, nullptr, inst, nullptr);
  if (!m_hwnd) return false;
  m_owner = owner;
  SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  return true;
}

SIZE CToolTipWindow::Measure() const {
  HDC dc = GetDC(m_hwnd);
  HGDIOBJ old = m_font ? SelectObject(dc, m_font) : nullptr;
  RECT rc{0, 0, m_maxWidth, 0};
  DrawTextW(dc, m_text.c_str(), static_cast<int>(m_text.size()), &rc, kTextFlags | DT_CALCRECT);
  if (old) SelectObject(dc, old);
  ReleaseDC(m_hwnd, dc);
  return {rc.right - rc.left + 2 * m_padX + 2, rc.bottom - rc.top + 2 * m_padY + 2};
}

void CToolTipWindow::Paint(HDC dc) const {
  RECT rc;
  GetClientRect(m_hwnd, &rc);
  HBRUSH bk = CreateSolidBrush(m_bk);
  FillRect(dc, &rc, bk);
  DeleteObject(bk);
  HBRUSH border = CreateSolidBrush(Mix(m_bk, m_fg));
  FrameRect(dc, &rc, border);
  DeleteObject(border);
  HGDIOBJ old = m_font ? SelectObject(dc, m_font) : nullptr;
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, m_fg);
  RECT text{rc.left + 1 + m_padX, rc.top + 1 + m_padY, rc.right - 1 - m_padX, rc.bottom - 1 - m_padY};
  DrawTextW(dc, m_text.c_str(), static_cast<int>(m_text.size()), &text, kTextFlags);
  if (old) SelectObject(dc, old);
}

void CToolTipWindow::Show(HWND owner, const std::wstring& text, POINT at, uint32_t bkColor, uint32_t textColor,
                          HFONT font, int scale) {
  if (text.empty() || !Create(owner)) return;
  m_text = text;
  m_bk = FromArgb(bkColor, COLOR_INFOBK);
  m_fg = FromArgb(textColor, COLOR_INFOTEXT);
  m_font = font;
  m_padX = ScaleValue(6, scale);
  m_padY = ScaleValue(3, scale);
  m_maxWidth = ScaleValue(400, scale);
  SetWindowTextW(m_hwnd, m_text.c_str());
  SIZE size = Measure();
  MONITORINFO mi{sizeof(mi)};
  if (GetMonitorInfoW(MonitorFromPoint(at, MONITOR_DEFAULTTONEAREST), &mi)) {
    const RECT& work = mi.rcWork;
    at.x = std::max(work.left, std::min(at.x, static_cast<LONG>(work.right - size.cx)));
    at.y = std::max(work.top, std::min(at.y, static_cast<LONG>(work.bottom - size.cy)));
  }
  SetWindowPos(m_hwnd, HWND_TOPMOST, at.x, at.y, size.cx, size.cy, SWP_NOACTIVATE | SWP_SHOWWINDOW);
  InvalidateRect(m_hwnd, nullptr, TRUE);
}

void CToolTipWindow::Hide() {
  if (m_hwnd && IsWindowVisible(m_hwnd)) ShowWindow(m_hwnd, SW_HIDE);
}

}  // namespace skin
