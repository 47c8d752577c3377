#include "uiedit.h"

#include <algorithm>

#include "markupvalues.h"

namespace skin {

CRichEditUI::CRichEditUI() { m_textStyle = kTextLeft | kTextVCenter | kTextSingleLine; }

void CRichEditUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"normalimage") m_normalImage = value;
  else if (name == L"hotimage") m_hotImage = value;
  else if (name == L"focusedimage") m_focusedImage = value;
  else if (name == L"disabledimage") m_disabledImage = value;
  else if (name == L"RichEditDpiTextPadding") m_dpiTextPadding = ParseBool(value);
  else if (name == L"CaretFollowTextColor") m_caretFollowTextColor = ParseBool(value);
  else if (name == L"autoselall") m_autoSelAll = ParseBool(value);
  else if (name == L"maxchar") m_buffer.SetMaxChars(static_cast<size_t>(std::max(1, ParseInt(value))));
  else if (name == L"text") SetText(value);
  else CLabelUI::SetAttribute(name, value);
}

void CRichEditUI::SetText(const std::wstring& text) {
  m_buffer.SetText(text);
  m_text = m_buffer.Text();
  m_scrollX = 0;
  Invalidate();
}

void CRichEditUI::SetEnabled(bool enabled) {
  if (!enabled) m_hot = false;
  CLabelUI::SetEnabled(enabled);
}

Rect CRichEditUI::GetEditTextPadding() const {
  return m_dpiTextPadding ? GetTextPadding() : m_textPadding;
}

Rect CRichEditUI::TextArea() const {
  Rect tp = GetEditTextPadding();
  return {m_rcItem.left + tp.left, m_rcItem.top + tp.top, m_rcItem.right - tp.right,
          m_rcItem.bottom - tp.bottom};
}

int CRichEditUI::XOfIndex(size_t pos) {
  int x = TextArea().left - m_scrollX;
  if (!m_manager || pos == 0) return x;
  std::wstring prefix = m_buffer.Text().substr(0, pos);
  return x + m_manager->MeasureText(prefix, m_font, 9999, kTextSingleLine | kTextNoPrefix).cx;
}

size_t CRichEditUI::IndexAtX(int x) {
  const size_t n = m_buffer.Text().size();
  size_t best = 0;
  int bestDist = std::abs(XOfIndex(0) - x);
  for (size_t i = 1; i <= n; ++i) {
    int d = std::abs(XOfIndex(i) - x);
    if (d < bestDist) { best = i; bestDist = d; }
  }
  return best;
}

void CRichEditUI::ScrollToCaret() {
  Rect area = TextArea();
  int caretX = XOfIndex(m_buffer.Caret());
  if (caretX > area.right - 1) m_scrollX += caretX - (area.right - 1);
  else if (caretX < area.left) m_scrollX -= area.left - caretX;
  if (m_scrollX < 0) m_scrollX = 0;
}

void CRichEditUI::UpdateIme() {
  if (!m_manager || !m_focused) return;
  Rect area = TextArea();
  m_manager->SetImePosition({XOfIndex(m_buffer.Caret()), area.top}, area.Height());
}

void CRichEditUI::Changed() {
  m_text = m_buffer.Text();
  ScrollToCaret();
  Invalidate();
  SendNotify(L"textchanged");
}

void CRichEditUI::OnSetFocus() {
  m_focused = true;
  m_caretOn = true;
  if (m_autoSelAll) m_buffer.SelectAll();
  SetTimer(kCaretTimer, 530);
  UpdateIme();
  Invalidate();
}

void CRichEditUI::OnKillFocus() {
  m_focused = false;
  m_caretOn = false;
  m_dragging = false;
  KillTimer(kCaretTimer);
  Invalidate();
}

bool CRichEditUI::CopySelection() {
  if (!m_manager || !m_buffer.HasSelection()) return false;
  m_manager->SetClipboardText(m_buffer.SelectedText());
  return true;
}

bool CRichEditUI::OnKeyDown(const UIEvent& e) {
  bool changed = false;
  switch (e.key) {
    case kKeyLeft: m_buffer.MoveLeft(e.shift, e.ctrl); break;
    case kKeyRight: m_buffer.MoveRight(e.shift, e.ctrl); break;
    case kKeyHome: m_buffer.Home(e.shift); break;
    case kKeyEnd: m_buffer.End(e.shift); break;
    case kKeyBack: changed = m_buffer.Backspace(); break;
    case kKeyDelete:
      if (e.shift) CopySelection();
      changed = m_buffer.Delete();
      break;
    case kKeyInsert:
      if (e.ctrl && CopySelection()) break;
      if (e.shift && m_manager) changed = m_buffer.Insert(m_manager->GetClipboardText());
      break;
    case kKeyA:
      if (!e.ctrl) return false;
      m_buffer.SelectAll();
      break;
    case kKeyC:
      if (!e.ctrl || !CopySelection()) return false;
      break;
    case kKeyX:
      if (!e.ctrl || !CopySelection()) return false;
      changed = m_buffer.Delete();
      break;
    case kKeyV:
      if (!e.ctrl || !m_manager) return false;
      changed = m_buffer.Insert(m_manager->GetClipboardText());
      break;
    default: return false;
  }
  m_caretOn = true;
  if (changed) Changed();
  else { ScrollToCaret(); Invalidate(); }
  UpdateIme();
  return true;
}

void CRichEditUI::DoEvent(UIEvent& e) {
  if (!m_enabled && e.type != EventType::Timer && e.type != EventType::KillFocus) {
    CLabelUI::DoEvent(e);
    return;
  }
  switch (e.type) {
    case EventType::MouseEnter: m_hot = true; Invalidate(); return;
    case EventType::MouseLeave: m_hot = false; Invalidate(); return;
    case EventType::SetFocus: OnSetFocus(); return;
    case EventType::KillFocus: OnKillFocus(); return;
    case EventType::Timer:
      if (e.key == kCaretTimer) {
        m_caretOn = !m_caretOn && m_focused;
        Invalidate();
        return;
      }
      break;
    case EventType::ButtonDown:
      SetFocus();
      m_buffer.SetCaret(IndexAtX(e.pt.x), e.shift);
      m_dragging = true;
      m_caretOn = true;
      UpdateIme();
      Invalidate();
      return;
    case EventType::MouseMove:
      if (m_dragging) {
        m_buffer.SetCaret(IndexAtX(e.pt.x), true);
        ScrollToCaret();
        Invalidate();
      }
      return;
    case EventType::ButtonUp: m_dragging = false; return;
    case EventType::DoubleClick: m_buffer.SelectAll(); Invalidate(); return;
    case EventType::KeyDown:
      if (OnKeyDown(e)) return;
      break;
    case EventType::Char:
      if (e.ctrl || e.key < 0x20 || e.key == 0x7F) return;  // shortcuts come as KeyDown
      if (m_buffer.Insert(std::wstring(1, static_cast<wchar_t>(e.key)))) Changed();
      UpdateIme();
      return;
    case EventType::ImeResult:
      if (m_buffer.Insert(e.text)) Changed();
      UpdateIme();
      return;
    default:
      break;
  }
  CLabelUI::DoEvent(e);
}

void CRichEditUI::PaintStatusImage(IRenderer& r) {
  const std::wstring* image = &m_normalImage;
  if (!m_enabled && !m_disabledImage.empty()) image = &m_disabledImage;
  else if (m_focused && !m_focusedImage.empty()) image = &m_focusedImage;
  else if (m_hot && !m_hotImage.empty()) image = &m_hotImage;
  if (!image->empty()) r.DrawImage(*image, m_rcItem, Rect{});
}

void CRichEditUI::PaintText(IRenderer& r) {
  Rect area = TextArea();
  if (area.IsEmpty()) return;
  Color color = CurrentTextColor();
  if (color == 0) color = 0xFF000000;
  r.PushClip(area);
  if (m_focused && m_buffer.HasSelection()) {
    int x0 = XOfIndex(m_buffer.SelStart());
    int x1 = XOfIndex(m_buffer.SelEnd());
    r.FillRect({x0, area.top + 2, x1, area.bottom - 2}, 0xFF3399FF);
  }
  Rect textRc{area.left - m_scrollX, area.top, area.right + 9999, area.bottom};
  r.DrawText(m_buffer.Text(), textRc, m_font, color, kTextLeft | kTextVCenter | kTextSingleLine | kTextNoPrefix);
  if (m_focused && m_caretOn) {
    int x = XOfIndex(m_buffer.Caret());
    int h = m_manager ? m_manager->MeasureText(L"M", m_font, 9999, kTextSingleLine).cy : area.Height();
    h = std::min(std::max(h, 1), area.Height());
    int top = area.top + (area.Height() - h) / 2;
    Color caret = m_caretFollowTextColor ? color : 0xFF000000;
    r.FillRect({x, top, x + std::max(1, ScaleInt(1)), top + h}, caret);
  }
  r.PopClip();
}

}  // namespace skin
