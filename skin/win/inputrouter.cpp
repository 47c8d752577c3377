#include "inputrouter.h"

#include <imm.h>
#include <windowsx.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dpi.h"
#include "paintmanager.h"
#include "uicontainer.h"

namespace skin {

namespace {

// The window timer of the tooltip delay (per-control timers count up from 0x1000).
constexpr UINT_PTR kToolTipTimer = 0x0FFE;
constexpr UINT kToolTipDelay = 500;

POINT PointOf(LPARAM lParam) { return {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; }

bool Pressed(int key) { return (GetKeyState(key) & 0x8000) != 0; }

}  // namespace

HWND CInputRouter::Window() const { return m_pm.GetPaintWindow(); }

bool CInputRouter::Route(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  bool handled = false;
  switch (msg) {
    case WM_TIMER: handled = OnTimer(wParam); break;
    case WM_MOUSEMOVE: OnMouseMove(PointOf(lParam)); break;
    case WM_MOUSELEAVE: OnMouseLeave(); break;
    case WM_RBUTTONDOWN: HideToolTip(); break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: handled = OnButtonDown(msg, PointOf(lParam)); break;
    case WM_LBUTTONUP: handled = OnButtonUp(PointOf(lParam)); break;
    case WM_CAPTURECHANGED: OnCaptureChanged(reinterpret_cast<HWND>(lParam)); break;
    case WM_KEYDOWN: handled = OnKeyDown(wParam); break;
    case WM_CHAR: handled = OnChar(wParam); break;
    case WM_IME_STARTCOMPOSITION: SetImePosition(m_imePos, m_imeHeight); break;
    case WM_IME_COMPOSITION: handled = OnImeComposition(lParam); break;
    case WM_SETCURSOR:
      if (OnSetCursor(lParam)) {
        result = TRUE;
        return true;
      }
      break;
    default: break;
  }
  if (handled) result = 0;
  return handled;
}

void CInputRouter::Forget(CControlUI* control) {
  if (m_hover == control) m_hover = nullptr;
  if (m_pushed == control) m_pushed = nullptr;
  if (m_tooltipFor == control) HideToolTip();
}

void CInputRouter::SetImePosition(const Point& caret, int height) {
  m_imePos = caret;
  m_imeHeight = height;
  if (!Window()) return;
  if (HIMC imc = ImmGetContext(Window())) {
    COMPOSITIONFORM cf{};
    cf.dwStyle = CFS_POINT;
    cf.ptCurrentPos = {caret.x, caret.y};
    ImmSetCompositionWindow(imc, &cf);
    ImmReleaseContext(Window(), imc);
  }
}

bool CInputRouter::OnTimer(WPARAM id) {
  if (id != kToolTipTimer) return false;
  ShowToolTip();
  return true;
}

void CInputRouter::OnMouseMove(POINT pt) {
  if (!m_mouseTracking) {
    TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE, Window(), 0};
    TrackMouseEvent(&tme);
    m_mouseTracking = true;
  }
  CControlUI* c = m_pm.FindControlAt(pt);
  if (!m_pushed) SetHover(c, pt);
  if (CControlUI* target = m_pushed ? m_pushed : c) {
    UIEvent e = MakeEvent(EventType::MouseMove, pt);
    target->Event(e);
  }
}

void CInputRouter::OnMouseLeave() {
  m_mouseTracking = false;
  if (!m_pushed) SetHover(nullptr, {-1, -1});
}

bool CInputRouter::OnButtonDown(UINT msg, POINT pt) {
  HideToolTip();
  CControlUI* c = m_pm.FindControlAt(pt);
  if (!c || !c->IsEnabled()) return false;
  SetCapture(Window());
  m_pushed = c;
  if (c->IsFocusable()) m_pm.SetFocus(c);
  UIEvent e = MakeEvent(msg == WM_LBUTTONDOWN ? EventType::ButtonDown : EventType::DoubleClick, pt);
  c->Event(e);
  return true;
}

bool CInputRouter::OnButtonUp(POINT pt) {
  // Taken before releasing the capture: that sends WM_CAPTURECHANGED at once.
  CControlUI* c = m_pushed;
  m_pushed = nullptr;
  if (GetCapture() == Window()) ReleaseCapture();
  if (!c) return false;
  UIEvent e = MakeEvent(EventType::ButtonUp, pt);
  c->Event(e);
  SetHover(m_pm.FindControlAt(pt), pt);
  return true;
}

void CInputRouter::OnCaptureChanged(HWND gaining) {
  if (gaining == Window() || !m_pushed) return;
  UIEvent e = MakeEvent(EventType::ButtonUp, {-1, -1});
  CControlUI* c = m_pushed;
  m_pushed = nullptr;
  if (m_pm.GetWindowSpec().killFocusSendButtonUp) c->Event(e);
}

bool CInputRouter::OnKeyDown(WPARAM key) {
  HideToolTip();
  if (key == VK_TAB) {
    CycleTab(Pressed(VK_SHIFT));
    return true;
  }
  CControlUI* focus = m_pm.GetFocus();
  if (!focus) return false;
  UIEvent e = MakeEvent(EventType::KeyDown, {0, 0});
  e.key = static_cast<unsigned>(key);
  focus->Event(e);
  return true;
}

bool CInputRouter::OnChar(WPARAM ch) {
  CControlUI* focus = m_pm.GetFocus();
  if (!focus || ch == VK_TAB) return false;
  UIEvent e = MakeEvent(EventType::Char, {0, 0});
  e.key = static_cast<unsigned>(ch);
  focus->Event(e);
  return true;
}

bool CInputRouter::OnImeComposition(LPARAM flags) {
  CControlUI* focus = m_pm.GetFocus();
  if (!(flags & GCS_RESULTSTR) || !focus) return false;
  HIMC imc = ImmGetContext(Window());
  if (!imc) return false;
  const LONG bytes = ImmGetCompositionStringW(imc, GCS_RESULTSTR, nullptr, 0);
  std::wstring text;
  if (bytes > 0) {
    text.resize(static_cast<size_t>(bytes) / sizeof(wchar_t));
    ImmGetCompositionStringW(imc, GCS_RESULTSTR, &text[0], static_cast<DWORD>(bytes));
  }
  ImmReleaseContext(Window(), imc);
  UIEvent e = MakeEvent(EventType::ImeResult, {0, 0});
  e.text = text;
  focus->Event(e);
  // The result went in here: no WM_IME_CHAR/WM_CHAR copies of it.
  return true;
}

bool CInputRouter::OnSetCursor(LPARAM hit) {
  if (LOWORD(hit) != HTCLIENT) return false;
  POINT pt;
  GetCursorPos(&pt);
  ScreenToClient(Window(), &pt);
  CControlUI* c = m_pm.FindControlAt(pt);
  if (!c || c->GetClass() != L"RichEditUI" || !c->IsEnabled()) return false;
  SetCursor(LoadCursorW(nullptr, IDC_IBEAM));
  return true;
}

UIEvent CInputRouter::MakeEvent(EventType type, POINT pt) const {
  UIEvent e;
  e.type = type;
  e.pt = {pt.x, pt.y};
  e.shift = Pressed(VK_SHIFT);
  e.ctrl = Pressed(VK_CONTROL);
  return e;
}

void CInputRouter::ShowToolTip() {
  HWND hwnd = Window();
  if (hwnd) ::KillTimer(hwnd, kToolTipTimer);
  CControlUI* c = m_hover;
  if (!c || !c->IsVisible() || c->GetToolTip().empty() || !IsWindowVisible(hwnd) || IsIconic(hwnd)) return;
  POINT at;
  GetCursorPos(&at);
  at.y += ScaleValue(20, m_pm.Scale());  // below the arrow cursor
  const WindowSpec& settings = m_pm.GetWindowSpec();
  m_tooltip.Show(hwnd, c->GetToolTip(), at, settings.tooltipBkColor, settings.tooltipTextColor, m_pm.GetDefaultFont(),
                 m_pm.Scale());
  m_tooltipFor = c;
}

void CInputRouter::HideToolTip() {
  if (Window()) ::KillTimer(Window(), kToolTipTimer);
  m_tooltip.Hide();
  m_tooltipFor = nullptr;
}

void CInputRouter::SetHover(CControlUI* control, POINT pt) {
  if (control == m_hover) return;
  HideToolTip();
  if (control && !control->GetToolTip().empty() && Window()) ::SetTimer(Window(), kToolTipTimer, kToolTipDelay, nullptr);
  if (m_hover) {
    UIEvent e = MakeEvent(EventType::MouseLeave, pt);
    m_hover->Event(e);
  }
  m_hover = control;
  if (m_hover) {
    UIEvent e = MakeEvent(EventType::MouseEnter, pt);
    m_hover->Event(e);
  }
}

void CInputRouter::CycleTab(bool backwards) {
  CControlUI* root = m_pm.GetRoot();
  auto* box = ControlCast<CContainerUI>(root);
  const bool normalTab = m_pm.GetWindowSpec().normalTab;
  std::vector<CControlUI*> stops;
  auto consider = [&](CControlUI* c) {
    const bool allowed = normalTab ? c->IsFocusable() : c->IsTabStop();
    if (allowed && c->IsVisible() && c->IsEnabled()) stops.push_back(c);
  };
  if (root) consider(root);
  if (box) CContainerUI::CollectAll(box, consider);
  if (stops.empty()) return;
  auto it = std::find(stops.begin(), stops.end(), m_pm.GetFocus());
  size_t i;
  if (it == stops.end()) {
    i = backwards ? stops.size() - 1 : 0;
  } else {
    const size_t cur = static_cast<size_t>(it - stops.begin());
    i = backwards ? (cur + stops.size() - 1) % stops.size() : (cur + 1) % stops.size();
  }
  m_pm.SetFocus(stops[i]);
}

}  // namespace skin
