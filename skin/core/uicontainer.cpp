#include "uicontainer.h"

#include <algorithm>

#include "markupvalues.h"

namespace skin {

// ---- plain container ----

void CContainerUI::SetManager(IUIContext* manager, CControlUI* parent) {
  CControlUI::SetManager(manager, parent);
  for (auto& item : m_items) item->SetManager(manager, this);
}

bool CContainerUI::Add(CControlUI* control) {
  if (!control) return false;
  m_items.emplace_back(control);
  control->SetManager(m_manager, this);
  NeedParentUpdate();
  return true;
}

CControlUI* CContainerUI::GetItemAt(int index) const {
  if (index < 0 || index >= GetCount()) return nullptr;
  return m_items[static_cast<size_t>(index)].get();
}

int CContainerUI::GetItemIndex(const CControlUI* control) const {
  for (int i = 0; i < GetCount(); ++i) {
    if (m_items[static_cast<size_t>(i)].get() == control) return i;
  }
  return -1;
}

Rect CContainerUI::GetInset() const {
  if (!m_dpiInset) return m_inset;
  return {ScaleInt(m_inset.left), ScaleInt(m_inset.top), ScaleInt(m_inset.right),
          ScaleInt(m_inset.bottom)};
}

Rect CContainerUI::ContentArea() const {
  Rect in = GetInset();
  // No scroll bars in this engine: the content area is the rectangle minus the inset.
  return {m_rcItem.left + in.left, m_rcItem.top + in.top, m_rcItem.right - in.right,
          m_rcItem.bottom - in.bottom};
}

void CContainerUI::SetPos(const Rect& rc, bool needInvalidate) {
  CControlUI::SetPos(rc, needInvalidate);
  Rect content = ContentArea();
  for (int i = 0; i < GetCount(); ++i) {
    CControlUI* c = GetItemAt(i);
    if (!c->IsOwnVisible()) continue;
    if (c->IsFloat()) {
      SetFloatPos(i);
      continue;
    }
    int cx = c->ClampWidth(content.Width());
    int cy = c->ClampHeight(content.Height());
    c->SetPos({content.left, content.top, content.left + cx, content.top + cy}, false);
  }
}

void CContainerUI::SetFloatPos(int index) {
  CControlUI* c = GetItemAt(index);
  if (!c || !c->IsOwnVisible()) return;
  const Rect& p = m_rcItem;  // the whole rectangle, not the inset area
  int w = c->GetFixedWidth();
  int h = c->GetFixedHeight();
  Point xy = c->GetFixedXY();
  unsigned flags = c->GetFloatAlign();
  Rect r;
  if (flags != 0) {
    int ox = (flags & kAlignCenter) ? (p.Width() - w) / 2 : (flags & kAlignRight) ? p.Width() - w : xy.x;
    int oy = (flags & kAlignVCenter) ? (p.Height() - h) / 2 : (flags & kAlignBottom) ? p.Height() - h : xy.y;
    r = {p.left + ox, p.top + oy, p.left + ox + w, p.top + oy + h};
  } else {
    const float* f = c->GetRelativePos();
    r.left = p.left + static_cast<int>(p.Width() * f[0]) + xy.x;
    r.top = p.top + static_cast<int>(p.Height() * f[1]) + xy.y;
    r.right = p.left + static_cast<int>(p.Width() * f[2]) + w + xy.x;
    r.bottom = p.top + static_cast<int>(p.Height() * f[3]) + h + xy.y;
  }
  c->SetPos(r, false);
}

void CContainerUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"inset") m_inset = ParseRect(value);
  else if (name == L"DPIInset") m_dpiInset = ParseBool(value);
  else if (name == L"childpadding") {
    Size s = ParseSize(value);
    m_childPaddingH = s.cx;
    m_childPaddingV = value.find(L',') == std::wstring::npos ? s.cx : s.cy;
  } else if (name == L"DpiChildPadding") m_dpiChildPadding = ParseBool(value);
  else if (name == L"childalign") m_childAlign = ParseAlignWord(value) & 3u;
  else if (name == L"childvalign") m_childVAlign = ParseAlignWord(value) & 12u;
  else CControlUI::SetAttribute(name, value);
}

void CContainerUI::DoPaint(IRenderer& r, const Rect& dirty) {
  Rect area = Intersect(dirty, m_rcItem);
  if (area.IsEmpty()) return;
  CControlUI::DoPaint(r, dirty);
  r.PushClip(m_rcItem);
  for (auto& item : m_items) {
    if (item->IsOwnVisible()) item->DoPaint(r, area);
  }
  r.PopClip();
}

CControlUI* CContainerUI::FindControlAt(Point pt) {
  if (!m_visible || !m_rcItem.Contains(pt)) return nullptr;
  for (auto it = m_items.rbegin(); it != m_items.rend(); ++it) {
    if (CControlUI* hit = (*it)->FindControlAt(pt)) return hit;
  }
  return this;
}

CControlUI* CContainerUI::FindControl(const std::wstring& name) {
  if (CControlUI* self = CControlUI::FindControl(name)) return self;
  for (auto& item : m_items) {
    if (CControlUI* found = item->FindControl(name)) return found;
  }
  return nullptr;
}

// ---- horizontal layout ----

static int FixedOrMax(int fixed, int maxValue) { return fixed >= 1 ? fixed : maxValue; }

void CHorizontalLayoutUI::SetPos(const Rect& rcIn, bool needInvalidate) {
  CControlUI::SetPos(rcIn, needInvalidate);
  const Rect content = ContentArea();
  const int contentW = content.Width();
  const int contentH = content.Height();
  const int gap = GetChildPaddingH();

  // First pass: what the fixed children take, how many share the rest.
  int adjustables = 0, fixedTotal = 0, counted = 0;
  for (auto& item : m_items) {
    CControlUI* c = item.get();
    if (!c->IsOwnVisible() || c->IsFloat()) continue;
    Rect pad = c->GetPadding();
    Size avail{std::min(contentW, FixedOrMax(c->GetFixedWidth(), c->GetMaxWidth())),
               std::min(contentH - pad.top - pad.bottom, FixedOrMax(c->GetFixedHeight(), c->GetMaxHeight()))};
    Size sz = c->EstimateSize(avail);
    if (sz.cx == 0) ++adjustables;
    else sz.cx = c->ClampWidth(sz.cx);
    fixedTotal += sz.cx + pad.left + pad.right;
    ++counted;
  }
  if (counted > 1) fixedTotal += gap * (counted - 1);
  int share = 0, remainder = 0;
  if (adjustables > 0) {
    share = std::max(0, (contentW - fixedTotal) / adjustables);
    remainder = (contentW - fixedTotal) % adjustables;
    if (remainder < 0) remainder = 0;
  }

  // Second pass: place them left to right.
  int x = content.left;
  int remainingW = contentW;
  int fixedRemaining = fixedTotal;
  int adjustable = 0, placed = 0;
  Size needed;
  for (int i = 0; i < GetCount(); ++i) {
    CControlUI* c = GetItemAt(i);
    if (!c->IsOwnVisible()) continue;
    if (c->IsFloat()) {
      SetFloatPos(i);
      continue;
    }
    Rect pad = c->GetPadding();
    remainingW -= pad.left;
    fixedRemaining -= pad.left + pad.right;
    if (++placed > 1) fixedRemaining -= gap;
    Size avail{std::min(remainingW, FixedOrMax(c->GetFixedWidth(), c->GetMaxWidth())),
               std::min(contentH - pad.top - pad.bottom, FixedOrMax(c->GetFixedHeight(), c->GetMaxHeight()))};
    Size sz = c->EstimateSize(avail);
    int cx;
    if (sz.cx != 0) {
      cx = c->ClampWidth(sz.cx);
      fixedRemaining -= cx;
    } else {
      ++adjustable;
      cx = share;
      if (m_expandBalance && remainder > 0) {
        ++cx;
        --remainder;
      }
      if (adjustable == adjustables) cx = std::max(0, remainingW - fixedRemaining - pad.right);
      cx = c->ClampWidth(cx);
    }
    int cy = sz.cy > 0 ? sz.cy : contentH - pad.top - pad.bottom;
    cy = std::min(cy, avail.cy);
    cy = c->ClampHeight(cy);
    int top;
    if (m_childVAlign == kAlignVCenter) top = content.top + contentH / 2 - cy / 2;
    else if (m_childVAlign == kAlignBottom) top = content.bottom - pad.bottom - cy;
    else top = content.top + pad.top;
    int left = x + pad.left;
    c->SetPos({left, top, left + cx, top + cy}, false);
    x += cx + pad.left + pad.right + gap;
    remainingW -= cx + pad.right + gap;
    needed.cx += cx + pad.left + pad.right;
    needed.cy = std::max(needed.cy, cy + pad.top + pad.bottom);
  }
  if (placed > 1) needed.cx += gap * (placed - 1);
  m_needed = needed;
}

Size CHorizontalLayoutUI::EstimateSize(Size available) {
  Size sz = CContainerUI::EstimateSize(available);
  if (m_autoCalcWidth && sz.cx == 0) {
    int total = 0;
    for (auto& item : m_items) {
      if (!item->IsFloat()) total += item->GetFixedWidth();
    }
    sz.cx = total;
  }
  return sz;
}

void CHorizontalLayoutUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"ExpandBalance") m_expandBalance = ParseBool(value);
  else if (name == L"autocalcwidth") m_autoCalcWidth = ParseBool(value);
  else CContainerUI::SetAttribute(name, value);
}

// ---- vertical layout ----

void CVerticalLayoutUI::SetPos(const Rect& rcIn, bool needInvalidate) {
  CControlUI::SetPos(rcIn, needInvalidate);
  const Rect content = ContentArea();
  const int contentW = content.Width();
  const int contentH = content.Height();
  const int gap = GetChildPaddingV();

  int adjustables = 0, fixedTotal = 0, counted = 0;
  for (auto& item : m_items) {
    CControlUI* c = item.get();
    if (!c->IsOwnVisible() || c->IsFloat()) continue;
    Rect pad = c->GetPadding();
    Size avail{std::min(contentW - pad.left - pad.right, FixedOrMax(c->GetFixedWidth(), c->GetMaxWidth())),
               std::min(contentH, FixedOrMax(c->GetFixedHeight(), c->GetMaxHeight()))};
    Size sz = c->EstimateSize(avail);
    if (sz.cy == 0) ++adjustables;
    else sz.cy = c->ClampHeight(sz.cy);
    fixedTotal += sz.cy + pad.top + pad.bottom;
    ++counted;
  }
  if (counted > 1) fixedTotal += gap * (counted - 1);
  int share = 0;
  if (adjustables > 0) share = std::max(0, (contentH - fixedTotal) / adjustables);

  int y = content.top;
  int remainingH = contentH;
  int fixedRemaining = fixedTotal;
  int adjustable = 0, placed = 0;
  Size needed;
  for (int i = 0; i < GetCount(); ++i) {
    CControlUI* c = GetItemAt(i);
    if (!c->IsOwnVisible()) continue;
    if (c->IsFloat()) {
      SetFloatPos(i);
      continue;
    }
    Rect pad = c->GetPadding();
    remainingH -= pad.top;
    fixedRemaining -= pad.top + pad.bottom;
    if (++placed > 1) fixedRemaining -= gap;
    Size avail{std::min(contentW - pad.left - pad.right, FixedOrMax(c->GetFixedWidth(), c->GetMaxWidth())),
               std::min(remainingH, FixedOrMax(c->GetFixedHeight(), c->GetMaxHeight()))};
    Size sz = c->EstimateSize(avail);
    int cy;
    if (sz.cy != 0) {
      cy = c->ClampHeight(sz.cy);
      fixedRemaining -= cy;
    } else {
      ++adjustable;
      cy = share;
      if (adjustable == adjustables) cy = std::max(0, remainingH - fixedRemaining - pad.bottom);
      cy = c->ClampHeight(cy);
    }
    int cx = sz.cx > 0 ? sz.cx : contentW - pad.left - pad.right;
    cx = std::min(cx, avail.cx);
    cx = c->ClampWidth(cx);
    unsigned align = c->GetFloatAlign() != 0 ? c->GetFloatAlign() : m_childAlign;
    int left;
    if (align == kAlignCenter) left = content.left + contentW / 2 - cx / 2;
    else if (align == kAlignRight) left = content.right - pad.right - cx;
    else left = content.left + pad.left;
    int top = y + pad.top;
    c->SetPos({left, top, left + cx, top + cy}, false);
    y += cy + pad.top + pad.bottom + gap;
    remainingH -= cy + pad.bottom + gap;
    needed.cy += cy + pad.top + pad.bottom;
    needed.cx = std::max(needed.cx, cx + pad.left + pad.right);
  }
  if (placed > 1) needed.cy += gap * (placed - 1);
  m_needed = needed;
}

// ---- tab layout ----

void CTabLayoutUI::SetManager(IUIContext* manager, CControlUI* parent) {
  CContainerUI::SetManager(manager, parent);
  for (int i = 0; i < GetCount(); ++i) {
    CControlUI* c = GetItemAt(i);
    if (!c->IsFloat()) c->SetVisible(i == m_curSel);
  }
}

void CTabLayoutUI::SetPos(const Rect& rcIn, bool needInvalidate) {
  CControlUI::SetPos(rcIn, needInvalidate);
  for (int i = 0; i < GetCount(); ++i) {
    CControlUI* c = GetItemAt(i);
    if (!c->IsOwnVisible()) continue;
    if (c->IsFloat()) {
      SetFloatPos(i);
      continue;
    }
    if (i != m_curSel) continue;
    Rect pad = c->GetPadding();
    // The tab layout reads its inset unscaled.
    Rect area{m_rcItem.left + m_inset.left + pad.left, m_rcItem.top + m_inset.top + pad.top,
              m_rcItem.right - m_inset.right - pad.right, m_rcItem.bottom - m_inset.bottom - pad.bottom};
    Size sz = c->EstimateSize({area.Width(), area.Height()});
    int cx = c->ClampWidth(sz.cx == 0 ? area.Width() : sz.cx);
    int cy = c->ClampHeight(sz.cy == 0 ? area.Height() : sz.cy);
    c->SetPos({area.left, area.top, area.left + cx, area.top + cy}, false);
  }
}

void CTabLayoutUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"selectedid") m_curSel = ParseInt(value);
  else CContainerUI::SetAttribute(name, value);
}

bool CTabLayoutUI::SelectItem(int index, bool notify) {
  if (index < 0 || index >= GetCount()) return false;
  int old = m_curSel;
  m_curSel = index;
  for (int i = 0; i < GetCount(); ++i) {
    CControlUI* c = GetItemAt(i);
    if (!c->IsFloat()) c->SetVisible(i == index);
  }
  // The newly shown page needs a layout pass of its own.
  SetPos(m_rcItem, true);
  if (notify && old != index) SendNotify(L"tabselect", static_cast<uintptr_t>(index), old);
  return true;
}

bool CTabLayoutUI::SelectItem(CControlUI* page, bool notify) {
  return SelectItem(GetItemIndex(page), notify);
}

}  // namespace skin
