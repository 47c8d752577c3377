// Mouse, keyboard, IME and cursor messages of one window turned into control events: the
// control under the mouse (hover, the tooltip after a rest), the pushed one (it keeps the
// mouse until release), the focused one (keys, characters, IME results) and tab cycling.
#pragma once
#include <windows.h>

#include "tooltip.h"
#include "uicontrol.h"

namespace skin {

class CPaintManagerUI;

class CInputRouter {
 public:
  explicit CInputRouter(CPaintManagerUI& pm) : m_pm(pm) {}
  CInputRouter(const CInputRouter&) = delete;
  CInputRouter& operator=(const CInputRouter&) = delete;

  // True when the message was one of the router's and handled, with its `result`.
  bool Route(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // A control going away is forgotten.
  void Forget(CControlUI* control);
  void SetImePosition(const Point& caret, int height);

 private:
  bool OnTimer(WPARAM id);
  void OnMouseMove(POINT pt);
  void OnMouseLeave();
  bool OnButtonDown(UINT msg, POINT pt);
  bool OnButtonUp(POINT pt);
  void OnCaptureChanged(HWND gaining);
  bool OnKeyDown(WPARAM key);
  bool OnChar(WPARAM ch);
  bool OnImeComposition(LPARAM flags);
  bool OnSetCursor(LPARAM hit);

  UIEvent MakeEvent(EventType type, POINT pt) const;
  void SetHover(CControlUI* control, POINT pt);
  void ShowToolTip();
  void HideToolTip();
  void CycleTab(bool backwards);
  HWND Window() const;

  CPaintManagerUI& m_pm;
  bool m_mouseTracking = false;
  CControlUI* m_hover = nullptr;
  CControlUI* m_pushed = nullptr;
  // The tooltip of the hovered control, shown when the mouse has rested on it a while.
  CToolTipWindow m_tooltip;
  CControlUI* m_tooltipFor = nullptr;
  Point m_imePos;
  int m_imeHeight = 0;
};

}  // namespace skin
