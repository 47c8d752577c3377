#include "uicontrols.h"

#include <algorithm>

#include "markupvalues.h"
#include "uicontainer.h"

namespace skin {

// ---- label ----

static unsigned ApplyAlign(unsigned style, const std::wstring& name, const std::wstring& value) {
  if (name == L"align") {
    style &= ~(kTextCenter | kTextRight);
    if (value.find(L"center") != std::wstring::npos && value.find(L"vcenter") == std::wstring::npos) style |= kTextCenter;
    if (value.find(L"right") != std::wstring::npos) style |= kTextRight;
  } else {
    style &= ~(kTextVCenter | kTextBottom);
    if (value.find(L"vcenter") != std::wstring::npos || value == L"center") style |= kTextVCenter;
    if (value.find(L"bottom") != std::wstring::npos) style |= kTextBottom;
  }
  return style;
}

void CLabelUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"font") m_font = ParseInt(value);
  else if (name == L"textcolor") m_textColor = ParseColor(value);
  else if (name == L"disabledtextcolor") m_disabledTextColor = ParseColor(value);
  else if (name == L"align" || name == L"valign") m_textStyle = ApplyAlign(m_textStyle, name, value);
  else if (name == L"textpadding") m_textPadding = ParseRect(value);
  else if (name == L"autocalcwidth") m_autoCalcWidth = ParseBool(value);
  else if (name == L"autocalcheight") m_autoCalcHeight = ParseBool(value);
  else if (name == L"showhtml") m_showHtml = ParseBool(value);
  else if (name == L"endellipsis") {
    if (ParseBool(value)) m_textStyle |= kTextEndEllipsis;
    else m_textStyle &= ~kTextEndEllipsis;
  } else if (name == L"wordbreak") {
    if (ParseBool(value)) { m_textStyle |= kTextWordBreak; m_textStyle &= ~kTextSingleLine; }
  } else CControlUI::SetAttribute(name, value);
}

Rect CLabelUI::GetTextPadding() const {
  return {ScaleInt(m_textPadding.left), ScaleInt(m_textPadding.top), ScaleInt(m_textPadding.right),
          ScaleInt(m_textPadding.bottom)};
}

void CLabelUI::SetText(const std::wstring& text) {
  if (text == m_text) return;
  CControlUI::SetText(text);
  m_cachedFor = {-1, -1};
  if (m_autoCalcWidth || m_autoCalcHeight) NeedParentUpdate();
}

Size CLabelUI::EstimateSize(Size available) {
  Size fixed{GetFixedWidth(), GetFixedHeight()};
  bool calcW = m_autoCalcWidth && fixed.cx == 0;
  bool calcH = m_autoCalcHeight && fixed.cy == 0;
  if (!(calcW || calcH) || !m_manager) return fixed;
  // Fonts follow the DPI scale: a measurement is only good for the scale it was made at.
  if (!(m_cachedFor == available) || m_cachedScale != Scale()) {
    Rect tp = GetTextPadding();
    Size text = m_manager->MeasureText(m_text, CurrentFont(), available.cx, m_textStyle);
    m_cachedSize = {text.cx + tp.left + tp.right + (m_showHtml ? 4 : 0), text.cy + tp.top + tp.bottom};
    m_cachedFor = available;
    m_cachedScale = Scale();
  }
  return {calcW ? m_cachedSize.cx : fixed.cx, calcH ? m_cachedSize.cy : fixed.cy};
}

Color CLabelUI::CurrentTextColor() const {
  if (!m_enabled && m_disabledTextColor != 0) return m_disabledTextColor;
  return m_textColor;
}

void CLabelUI::PaintText(IRenderer& r) {
  if (m_text.empty()) return;
  Rect tp = GetTextPadding();
  Rect rc{m_rcItem.left + tp.left, m_rcItem.top + tp.top, m_rcItem.right - tp.right,
          m_rcItem.bottom - tp.bottom};
  Color color = CurrentTextColor();
  if (color == 0) color = 0xFF000000;
  r.DrawText(m_text, rc, CurrentFont(), color, m_textStyle);
}

// ---- button ----

void CButtonUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"normalimage") m_normalImage = value;
  else if (name == L"hotimage") m_hotImage = value;
  else if (name == L"pushedimage") m_pushedImage = value;
  else if (name == L"focusedimage") m_focusedImage = value;
  else if (name == L"disabledimage") m_disabledImage = value;
  else if (name == L"hotfont") m_hotFont = ParseInt(value);
  else if (name == L"hottextcolor") m_hotTextColor = ParseColor(value);
  else if (name == L"pushedtextcolor") m_pushedTextColor = ParseColor(value);
  else CLabelUI::SetAttribute(name, value);
}

void CButtonUI::SetEnabled(bool enabled) {
  if (!enabled) m_hot = m_pushed = false;
  CLabelUI::SetEnabled(enabled);
}

int CButtonUI::CurrentFont() const {
  if (m_hot && m_hotFont >= 0) return m_hotFont;
  return m_font;
}

Color CButtonUI::CurrentTextColor() const {
  if (!m_enabled) return CLabelUI::CurrentTextColor();
  if (m_pushed && m_pushedTextColor != 0) return m_pushedTextColor;
  if (m_hot && m_hotTextColor != 0) return m_hotTextColor;
  return m_textColor;
}

std::wstring CButtonUI::StateImage() const {
  if (!m_enabled) return m_disabledImage.empty() ? m_normalImage : m_disabledImage;
  if (m_pushed && !m_pushedImage.empty()) return m_pushedImage;
  if ((m_hot || m_pushed) && !m_hotImage.empty()) return m_hotImage;
  if (m_focused && !m_focusedImage.empty()) return m_focusedImage;
  return m_normalImage;
}

void CButtonUI::PaintStatusImage(IRenderer& r) {
  std::wstring image = StateImage();
  if (!image.empty()) r.DrawImage(image, m_rcItem, Rect{});
}

bool CButtonUI::Activate() {
  if (!IsVisible() || !m_enabled) return false;
  SendNotify(L"click");
  return true;
}

void CButtonUI::DoEvent(UIEvent& event) {
  switch (event.type) {
    case EventType::MouseEnter:
      if (m_enabled) { m_hot = true; Invalidate(); }
      return;
    case EventType::MouseLeave:
      m_hot = false;
      Invalidate();
      return;
    case EventType::ButtonDown:
    case EventType::DoubleClick:
      if (m_enabled) { m_pushed = true; Invalidate(); }
      return;
    case EventType::MouseMove:
      if (m_pushed) {
        bool inside = m_rcItem.Contains(event.pt);
        if (inside != m_hot) { m_hot = inside; Invalidate(); }
      }
      return;
    case EventType::ButtonUp:
      if (m_pushed) {
        m_pushed = false;
        Invalidate();
        if (m_rcItem.Contains(event.pt)) Activate();
      }
      return;
    case EventType::KeyDown:
      if (event.key == kKeySpace || event.key == kKeyReturn) {
        Activate();
        return;
      }
      break;
    default:
      break;
  }
  CLabelUI::DoEvent(event);
}

// ---- option ----

void COptionUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"selected") m_selected = ParseBool(value);
  else if (name == L"group") m_group = value;
  else if (name == L"selectedimage") m_selectedImage = value;
  else if (name == L"selectedhotimage") m_selectedHotImage = value;
  else if (name == L"selectedpushedimage") m_selectedPushedImage = value;
  else if (name == L"selectedtextcolor") m_selectedTextColor = ParseColor(value);
  else CButtonUI::SetAttribute(name, value);
}

void COptionUI::SetManager(IUIContext* manager, CControlUI* parent) {
  CButtonUI::SetManager(manager, parent);
}

void COptionUI::Selected(bool selected, bool notify) {
  if (m_selected == selected) return;
  m_selected = selected;
  if (selected && !m_group.empty() && m_parent) {
    // Options of one group inside the same parent are exclusive.
    if (auto* box = ControlCast<CContainerUI>(m_parent)) {
      for (int i = 0; i < box->GetCount(); ++i) {
        auto* other = ControlCast<COptionUI>(box->GetItemAt(i));
        if (other && other != this && other->m_group == m_group) other->Selected(false, notify);
      }
    }
  }
  Invalidate();
  if (notify) SendNotify(L"selectchanged");
}

bool COptionUI::Activate() {
  if (!IsVisible() || !m_enabled) return false;
  SendNotify(L"click");
  if (m_group.empty()) Selected(!m_selected);
  else Selected(true);
  return true;
}

std::wstring COptionUI::StateImage() const {
  if (!m_selected) return CButtonUI::StateImage();
  if (m_enabled) {
    if (m_pushed && !m_selectedPushedImage.empty()) return m_selectedPushedImage;
    if ((m_hot || m_pushed) && !m_selectedHotImage.empty()) return m_selectedHotImage;
  }
  return m_selectedImage.empty() ? CButtonUI::StateImage() : m_selectedImage;
}

Color COptionUI::CurrentTextColor() const {
  if (m_selected && m_enabled && m_selectedTextColor != 0) return m_selectedTextColor;
  return CButtonUI::CurrentTextColor();
}

// ---- progress ----

void CProgressUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"hor") m_horizontal = ParseBool(value);
  else if (name == L"min") SetMinValue(ParseInt(value));
  else if (name == L"max") SetMaxValue(ParseInt(value));
  else if (name == L"value") SetValue(ParseInt(value));
  else CLabelUI::SetAttribute(name, value);
}

void CProgressUI::SetValue(int value) {
  value = std::max(m_min, std::min(value, m_max));
  if (value == m_value) return;
  m_value = value;
  Invalidate();
}

void CProgressUI::SetMaxValue(int value) {
  m_max = std::max(value, m_min);
  m_value = std::min(m_value, m_max);
  Invalidate();
}

void CProgressUI::SetMinValue(int value) {
  m_min = std::min(value, m_max);
  m_value = std::max(m_value, m_min);
  Invalidate();
}

Rect CProgressUI::FilledRect() const {
  Rect r = m_rcItem;
  int range = m_max - m_min;
  if (range <= 0) return r;
  int64_t done = m_value - m_min;
  if (m_horizontal) r.right = r.left + static_cast<int>(r.Width() * done / range);
  else r.top = r.bottom - static_cast<int>(r.Height() * done / range);
  return r;
}

void CProgressUI::PaintStatusImage(IRenderer& r) {
  if (m_foreImage.empty()) return;
  Rect filled = FilledRect();
  if (filled.IsEmpty()) return;
  // The fill picture spans the whole bar and shows through the filled part.
  r.DrawImage(m_foreImage, m_rcItem, filled);
}

}  // namespace skin
