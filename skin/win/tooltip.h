// The tooltip of a skinned window: a small borderless popup beside the cursor showing a
// control's `tooltip` text in the skin's tooltip colours and default font. Its window
// text is the tooltip text, so that it can be found from outside.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

namespace skin {

class CToolTipWindow {
 public:
  static constexpr const wchar_t* kClassName = L"ZpkSkinToolTip";

  CToolTipWindow() = default;
  ~CToolTipWindow();
  CToolTipWindow(const CToolTipWindow&) = delete;
  CToolTipWindow& operator=(const CToolTipWindow&) = delete;

  // Shows `text` with its top-left corner at the screen point `at`, kept inside the
  // monitor's work area. Colours are ARGB; 0 takes the system's tooltip colours.
  void Show(HWND owner, const std::wstring& text, POINT at, uint32_t bkColor, uint32_t textColor, HFONT font,
            int scale);
  void Hide();
  bool IsVisible() const { return m_hwnd && IsWindowVisible(m_hwnd); }
  HWND GetHWND() const { return m_hwnd; }

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  bool Create(HWND owner);
  SIZE Measure() const;
  void Paint(HDC dc) const;

  HWND m_hwnd = nullptr;
  HWND m_owner = nullptr;
  std::wstring m_text;
  COLORREF m_bk = 0;
  COLORREF m_fg = 0;
  HFONT m_font = nullptr;
  int m_padX = 6;
  int m_padY = 3;
  int m_maxWidth = 400;
};

}  // namespace skin
