// The text model of a single-line edit box: text, caret, selection and the editing
// operations, kept apart from drawing so that it can be tested on its own.
#pragma once
#include <string>

namespace skin {

class EditBuffer {
 public:
  explicit EditBuffer(size_t maxChars = 1024) : m_max(maxChars) {}

  const std::wstring& Text() const { return m_text; }
  void SetText(const std::wstring& text);  // caret to the end, no selection
  void SetMaxChars(size_t maxChars);
  size_t Caret() const { return m_caret; }
  size_t Anchor() const { return m_anchor; }
  bool HasSelection() const { return m_caret != m_anchor; }
  size_t SelStart() const { return m_caret < m_anchor ? m_caret : m_anchor; }
  size_t SelEnd() const { return m_caret < m_anchor ? m_anchor : m_caret; }
  std::wstring SelectedText() const;

  // Replaces the selection by `text` (line breaks and control characters are dropped,
  // the result is cut at the maximum length). True when the text changed.
  bool Insert(const std::wstring& text);
  bool Backspace();
  bool Delete();
  void MoveLeft(bool extend, bool word);
  void MoveRight(bool extend, bool word);
  void Home(bool extend);
  void End(bool extend);
  void SelectAll();
  void SetCaret(size_t pos, bool extend);  // clamped to the text

 private:
  void Move(size_t pos, bool extend);
  bool EraseSelection();
  size_t PrevStop(size_t pos, bool word) const;
  size_t NextStop(size_t pos, bool word) const;

  std::wstring m_text;
  size_t m_caret = 0;
  size_t m_anchor = 0;
  size_t m_max;
};

}  // namespace skin
