// The base of every control: identity, the attributes every control has, the sizes the
// layouts read (scaled by the window's DPI), positioning, painting and events.
#pragma once
#include <cstdint>
#include <string>

#include "uicontext.h"
#include "uitypes.h"

namespace skin {

class CContainerUI;

class CControlUI {
 public:
  CControlUI();
  virtual ~CControlUI();
  CControlUI(const CControlUI&) = delete;
  CControlUI& operator=(const CControlUI&) = delete;

  virtual std::wstring GetClass() const { return L"ControlUI"; }

  // Attaches the control (and a container's children) to a window.
  virtual void SetManager(IUIContext* manager, CControlUI* parent);
  IUIContext* GetManager() const { return m_manager; }
  CControlUI* GetParent() const { return m_parent; }
  int Scale() const;
  int ScaleInt(int v) const { return ScaleValue(v, Scale()); }

  const std::wstring& GetName() const { return m_name; }
  void SetName(const std::wstring& name) { m_name = name; }
  const std::wstring& GetText() const { return m_text; }
  virtual void SetText(const std::wstring& text);
  const std::wstring& GetToolTip() const { return m_tooltip; }
  const std::wstring& GetUserData() const { return m_userData; }
  void SetUserData(const std::wstring& v) { m_userData = v; }
  intptr_t GetTag() const { return m_tag; }
  void SetTag(intptr_t tag) { m_tag = tag; }
  bool IsTabStop() const { return m_tabSupport; }

  // Visibility: SetVisible is the control's own flag; IsVisible also needs every
  // ancestor visible (a page of a tab layout that is not selected hides its children).
  virtual void SetVisible(bool visible);
  bool IsVisible() const;
  bool IsOwnVisible() const { return m_visible; }
  virtual void SetEnabled(bool enabled);
  bool IsEnabled() const { return m_enabled; }
  bool IsFocused() const { return m_focused; }
  void SetFocus();
  virtual bool IsFocusable() const { return false; }

  // Sizes, all scaled on reading.
  int GetFixedWidth() const { return ScaleInt(m_fixed.cx); }
  int GetFixedHeight() const { return ScaleInt(m_fixed.cy); }
  int GetMinWidth() const { return ScaleInt(m_min.cx); }
  int GetMinHeight() const { return ScaleInt(m_min.cy); }
  int GetMaxWidth() const { return ScaleInt(m_max.cx); }
  int GetMaxHeight() const { return ScaleInt(m_max.cy); }
  Rect GetPadding() const;
  Point GetFixedXY() const { return {ScaleInt(m_fixedXY.x), ScaleInt(m_fixedXY.y)}; }
  bool IsFloat() const { return m_float; }
  unsigned GetFloatAlign() const { return m_floatAlign; }
  void SetRelativePos(float left, float top, float right, float bottom);
  const float* GetRelativePos() const { return m_relative; }
  int ClampWidth(int cx) const;
  int ClampHeight(int cy) const;

  const Rect& GetPos() const { return m_rcItem; }
  virtual void SetPos(const Rect& rc, bool needInvalidate = true);
  // The size the control wants given the available space; 0 on an axis means "not fixed".
  virtual Size EstimateSize(Size available);
  void Invalidate();
  void NeedParentUpdate();

  // Markup.
  virtual void SetAttribute(const std::wstring& name, const std::wstring& value);

  // Images and colours.
  const std::wstring& GetBkImage() const { return m_bkImage; }
  virtual void SetBkImage(const std::wstring& image);
  const std::wstring& GetForeImage() const { return m_foreImage; }
  Color GetBkColor() const { return m_bkColor; }

  // Painting: background colour, background image, state images, foreground image,
  // text, then children.
  virtual void DoPaint(IRenderer& r, const Rect& dirty);
  virtual void PaintBkColor(IRenderer& r);
  virtual void PaintBkImage(IRenderer& r);
  virtual void PaintStatusImage(IRenderer& r) {}
  virtual void PaintForeImage(IRenderer& r);
  virtual void PaintText(IRenderer& r) {}

  // Events from the window (after hit testing) and the controls' own reactions.
  void Event(UIEvent& event);
  virtual void DoEvent(UIEvent& event);
  // The deepest visible control under the point (itself when no child claims it).
  virtual CControlUI* FindControlAt(Point pt);
  // Control search by name below this control (itself included).
  virtual CControlUI* FindControl(const std::wstring& name);

  bool SetTimer(unsigned id, unsigned elapse);
  bool KillTimer(unsigned id);

 protected:
  void SendNotify(const std::wstring& type, uintptr_t wParam = 0, intptr_t lParam = 0);

  IUIContext* m_manager = nullptr;
  CControlUI* m_parent = nullptr;
  std::wstring m_name, m_text, m_tooltip, m_userData;
  intptr_t m_tag = 0;
  bool m_visible = true;
  bool m_enabled = true;
  bool m_focused = false;
  bool m_float = false;
  bool m_tabSupport = false;
  bool m_dpiPadding = true;
  bool m_horzPaddingCenter = false;
  bool m_vertPaddingCenter = false;
  unsigned m_floatAlign = 0;
  Size m_fixed;
  Size m_min;
  Size m_max{9999, 9999};
  Rect m_padding;
  Point m_fixedXY;
  float m_relative[4] = {0, 0, 0, 0};
  Rect m_rcItem;
  Color m_bkColor = 0;
  std::wstring m_bkImage, m_foreImage;
};

// Safe downcast by class (null for a null control or another class).
template <typename T>
T* ControlCast(CControlUI* control) {
  return dynamic_cast<T*>(control);
}

}  // namespace skin
