// The drop shadow of a skinned window: a click-through layered window kept just behind
// it, a little larger, whose soft dark edge fades out around the window.
#pragma once
#include <windows.h>

namespace skin {

class CShadowWindow {
 public:
  CShadowWindow() = default;
  ~CShadowWindow();
  CShadowWindow(const CShadowWindow&) = delete;
  CShadowWindow& operator=(const CShadowWindow&) = delete;

  bool Create(HWND owner);
  void SetSize(int size) { m_size = size > 0 ? size : 1; }
  // Follows the window's position, size, visibility and z-order.
  void Update(HWND owner);
  HWND GetHWND() const { return m_hwnd; }

 private:
  HWND m_hwnd = nullptr;
  int m_size = 12;
  SIZE m_drawn{0, 0};
};

}  // namespace skin
