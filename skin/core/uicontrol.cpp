#include "uicontrol.h"

#include <algorithm>

#include "markupvalues.h"

namespace skin {

CControlUI::CControlUI() = default;

CControlUI::~CControlUI() {
  if (m_manager) m_manager->ControlRemoved(this);
}

void CControlUI::SetManager(IUIContext* manager, CControlUI* parent) {
  m_manager = manager;
  m_parent = parent;
}

int CControlUI::Scale() const { return m_manager ? m_manager->Scale() : 100; }

void CControlUI::SetText(const std::wstring& text) {
  if (m_text == text) return;
  m_text = text;
  Invalidate();
}

void CControlUI::SetVisible(bool visible) {
  if (m_visible == visible) return;
  bool wasVisible = IsVisible();
  m_visible = visible;
  if (!visible && m_manager && m_focused) m_manager->SetFocus(nullptr);
  if (wasVisible || IsVisible()) {
    Invalidate();
    NeedParentUpdate();
  }
}

bool CControlUI::IsVisible() const {
  for (const CControlUI* c = this; c; c = c->m_parent) {
    if (!c->m_visible) return false;
  }
  return true;
}

void CControlUI::SetEnabled(bool enabled) {
  if (m_enabled == enabled) return;
  m_enabled = enabled;
  if (!enabled && m_manager && m_focused) m_manager->SetFocus(nullptr);
  Invalidate();
}

void CControlUI::SetFocus() {
  if (m_manager) m_manager->SetFocus(this);
}

Rect CControlUI::GetPadding() const {
  if (!m_dpiPadding) return m_padding;
  return {ScaleInt(m_padding.left), ScaleInt(m_padding.top), ScaleInt(m_padding.right),
          ScaleInt(m_padding.bottom)};
}

void CControlUI::SetRelativePos(float left, float top, float right, float bottom) {
  m_relative[0] = left;
  m_relative[1] = top;
  m_relative[2] = right;
  m_relative[3] = bottom;
  NeedParentUpdate();
}

int CControlUI::ClampWidth(int cx) const {
  cx = std::max(cx, GetMinWidth());
  return std::min(cx, GetMaxWidth());
}

int CControlUI::ClampHeight(int cy) const {
  cy = std::max(cy, GetMinHeight());
  return std::min(cy, GetMaxHeight());
}

void CControlUI::SetPos(const Rect& rcIn, bool needInvalidate) {
  Rect rc = rcIn;
  if (rc.right < rc.left) rc.right = rc.left;
  if (rc.bottom < rc.top) rc.bottom = rc.top;
  Rect old = m_rcItem;
  m_rcItem = rc;
  if (!m_float && m_parent) {
    // Centring hints use the parent's whole rectangle; paddings play no part.
    const Rect& p = m_parent->GetPos();
    if (m_horzPaddingCenter) {
      int w = m_rcItem.Width();
      m_rcItem.left = p.left + p.Width() / 2 - w / 2;
      m_rcItem.right = m_rcItem.left + w;
    }
    if (m_vertPaddingCenter) {
      int h = m_rcItem.Height();
      m_rcItem.top = p.top + p.Height() / 2 - h / 2;
      m_rcItem.bottom = m_rcItem.top + h;
    }
  }
  if (!needInvalidate || !IsVisible() || !m_manager) return;
  Rect dirty = Union(old, m_rcItem);
  for (CControlUI* a = m_parent; a && !dirty.IsEmpty(); a = a->m_parent) {
    dirty = Intersect(dirty, a->GetPos());
  }
  if (!dirty.IsEmpty()) m_manager->Invalidate(dirty);
}

Size CControlUI::EstimateSize(Size) { return {GetFixedWidth(), GetFixedHeight()}; }

void CControlUI::Invalidate() {
  if (!m_manager || !IsVisible()) return;
  Rect dirty = m_rcItem;
  for (CControlUI* a = m_parent; a && !dirty.IsEmpty(); a = a->m_parent) {
    dirty = Intersect(dirty, a->GetPos());
  }
  if (!dirty.IsEmpty()) m_manager->Invalidate(dirty);
}

void CControlUI::NeedParentUpdate() {
  if (m_manager) m_manager->NeedUpdate();
}

void CControlUI::SetBkImage(const std::wstring& image) {
  if (m_bkImage == image) return;
  m_bkImage = image;
  Invalidate();
}

void CControlUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"name") m_name = value;
  else if (name == L"text") m_text = value;
  else if (name == L"tooltip") m_tooltip = value;
  else if (name == L"userdata") m_userData = value;
  else if (name == L"Tag" || name == L"tag") m_tag = ParseInt(value);
  else if (name == L"width") m_fixed.cx = std::max(0, ParseInt(value));
  else if (name == L"height") m_fixed.cy = std::max(0, ParseInt(value));
  else if (name == L"minwidth") m_min.cx = std::max(0, ParseInt(value));
  else if (name == L"minheight") m_min.cy = std::max(0, ParseInt(value));
  else if (name == L"maxwidth") m_max.cx = std::max(0, ParseInt(value));
  else if (name == L"maxheight") m_max.cy = std::max(0, ParseInt(value));
  else if (name == L"padding") m_padding = ParseRect(value);
  else if (name == L"DPIPadding") m_dpiPadding = ParseBool(value);
  else if (name == L"float") m_float = ParseBool(value);
  else if (name == L"floatalign") m_floatAlign = ParseFloatAlign(value);
  else if (name == L"horzpaddingcenter") m_horzPaddingCenter = ParseBool(value);
  else if (name == L"vertpaddingcenter") m_vertPaddingCenter = ParseBool(value);
  else if (name == L"visible") m_visible = ParseBool(value);
  else if (name == L"enabled") m_enabled = ParseBool(value);
  else if (name == L"TabSuppot") m_tabSupport = ParseBool(value);
  else if (name == L"bkcolor") m_bkColor = ParseColor(value);
  else if (name == L"bkimage") m_bkImage = value;
  else if (name == L"foreimage") m_foreImage = value;
  else if (name == L"pos") {
    Rect r = ParseRect(value);
    m_fixedXY.x = r.left < 0 ? r.right : r.left;
    m_fixedXY.y = r.top < 0 ? r.bottom : r.top;
    m_fixed.cx = std::max(0, r.right - r.left);
    m_fixed.cy = std::max(0, r.bottom - r.top);
  }
  // Anything else is not an attribute of this control: ignored.
}

void CControlUI::DoPaint(IRenderer& r, const Rect& dirty) {
  if (Intersect(dirty, m_rcItem).IsEmpty()) return;
  PaintBkColor(r);
  PaintBkImage(r);
  PaintStatusImage(r);
  PaintForeImage(r);
  PaintText(r);
}

void CControlUI::PaintBkColor(IRenderer& r) {
  if (m_bkColor != 0) r.FillRect(m_rcItem, m_bkColor);
}

void CControlUI::PaintBkImage(IRenderer& r) {
  if (!m_bkImage.empty()) r.DrawImage(m_bkImage, m_rcItem, Rect{});
}

void CControlUI::PaintForeImage(IRenderer& r) {
  if (!m_foreImage.empty()) r.DrawImage(m_foreImage, m_rcItem, Rect{});
}

void CControlUI::Event(UIEvent& event) { DoEvent(event); }

void CControlUI::DoEvent(UIEvent& event) {
  switch (event.type) {
    case EventType::Timer: SendNotify(L"timer", event.key); break;
    case EventType::SetFocus: m_focused = true; Invalidate(); break;
    case EventType::KillFocus: m_focused = false; Invalidate(); break;
    default:
      // Unhandled keys and mouse events go up to the parent.
      if (m_parent && event.type != EventType::MouseEnter && event.type != EventType::MouseLeave) {
        m_parent->DoEvent(event);
      }
      break;
  }
}

CControlUI* CControlUI::FindControlAt(Point pt) {
  if (!m_visible || !m_rcItem.Contains(pt)) return nullptr;
  return this;
}

CControlUI* CControlUI::FindControl(const std::wstring& name) {
  return (!name.empty() && m_name == name) ? this : nullptr;
}

bool CControlUI::SetTimer(unsigned id, unsigned elapse) {
  return m_manager && m_manager->SetTimer(this, id, elapse);
}

bool CControlUI::KillTimer(unsigned id) { return m_manager && m_manager->KillTimer(this, id); }

void CControlUI::SendNotify(const std::wstring& type, uintptr_t wParam, intptr_t lParam) {
  if (m_manager) m_manager->SendNotify(this, type, wParam, lParam);
}

}  // namespace skin
