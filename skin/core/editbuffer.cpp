#include "editbuffer.h"

#include <cwctype>

namespace skin {

static bool IsLowSurrogate(wchar_t c) {
  return sizeof(wchar_t) == 2 && c >= 0xDC00 && c < 0xE000;
}

void EditBuffer::SetText(const std::wstring& text) {
  m_text.clear();
  m_caret = m_anchor = 0;
  Insert(text);
}

void EditBuffer::SetMaxChars(size_t maxChars) {
  m_max = maxChars;
  if (m_text.size() > m_max) m_text.resize(m_max);
  SetCaret(m_caret, false);
}

std::wstring EditBuffer::SelectedText() const {
  return m_text.substr(SelStart(), SelEnd() - SelStart());
}

bool EditBuffer::EraseSelection() {
  if (!HasSelection()) return false;
  size_t start = SelStart();
  m_text.erase(start, SelEnd() - start);
  m_caret = m_anchor = start;
  return true;
}

bool EditBuffer::Insert(const std::wstring& raw) {
  std::wstring text;
  for (wchar_t c : raw) {
    if (c >= 0x20 && c != 0x7F) text.push_back(c);  // single line: no breaks, no controls
  }
  bool changed = EraseSelection();
  size_t room = m_text.size() < m_max ? m_max - m_text.size() : 0;
  if (text.size() > room) {
    text.resize(room);
    if (!text.empty() && sizeof(wchar_t) == 2 && text.back() >= 0xD800 && text.back() < 0xDC00) text.pop_back();
  }
  if (text.empty()) return changed;
  m_text.insert(m_caret, text);
  m_caret += text.size();
  m_anchor = m_caret;
  return true;
}

bool EditBuffer::Backspace() {
  if (EraseSelection()) return true;
  if (m_caret == 0) return false;
  size_t from = PrevStop(m_caret, false);
  m_text.erase(from, m_caret - from);
  m_caret = m_anchor = from;
  return true;
}

bool EditBuffer::Delete() {
  if (EraseSelection()) return true;
  if (m_caret >= m_text.size()) return false;
  size_t to = NextStop(m_caret, false);
  m_text.erase(m_caret, to - m_caret);
  return true;
}

size_t EditBuffer::PrevStop(size_t pos, bool word) const {
  if (pos == 0) return 0;
  --pos;
  if (pos > 0 && IsLowSurrogate(m_text[pos])) --pos;
  if (!word) return pos;
  while (pos > 0 && std::iswspace(m_text[pos])) --pos;
  while (pos > 0 && std::iswalnum(m_text[pos - 1])) --pos;
  return pos;
}

size_t EditBuffer::NextStop(size_t pos, bool word) const {
  if (pos >= m_text.size()) return m_text.size();
  ++pos;
  if (pos < m_text.size() && IsLowSurrogate(m_text[pos])) ++pos;
  if (!word) return pos;
  while (pos < m_text.size() && std::iswalnum(m_text[pos])) ++pos;
  while (pos < m_text.size() && std::iswspace(m_text[pos])) ++pos;
  return pos;
}

void EditBuffer::Move(size_t pos, bool extend) {
  m_caret = pos;
  if (!extend) m_anchor = pos;
}

void EditBuffer::MoveLeft(bool extend, bool word) {
  if (!extend && HasSelection()) { Move(SelStart(), false); return; }
  Move(PrevStop(m_caret, word), extend);
}

void EditBuffer::MoveRight(bool extend, bool word) {
  if (!extend && HasSelection()) { Move(SelEnd(), false); return; }
  Move(NextStop(m_caret, word), extend);
}

void EditBuffer::Home(bool extend) { Move(0, extend); }
void EditBuffer::End(bool extend) { Move(m_text.size(), extend); }

void EditBuffer::SelectAll() {
  m_anchor = 0;
  m_caret = m_text.size();
}

void EditBuffer::SetCaret(size_t pos, bool extend) {
  if (pos > m_text.size()) pos = m_text.size();
  if (pos > 0 && pos < m_text.size() && IsLowSurrogate(m_text[pos])) --pos;
  Move(pos, extend);
  if (m_anchor > m_text.size()) m_anchor = m_text.size();
}

}  // namespace skin
