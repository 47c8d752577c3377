// Single-line edit box (the markup's RichEdit): caret, selection, clipboard and IME
// input over an EditBuffer, drawn with the state images of the skin.
#pragma once
#include "editbuffer.h"
#include "uicontrols.h"

namespace skin {

class CRichEditUI : public CLabelUI {
 public:
  static constexpr unsigned kCaretTimer = 0x5EC0;  // the caret's blink, kept to itself

  CRichEditUI();
  std::wstring GetClass() const override { return L"RichEditUI"; }
  bool IsFocusable() const override { return true; }
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void SetText(const std::wstring& text) override;
  void SetEnabled(bool enabled) override;
  void DoEvent(UIEvent& event) override;
  void PaintStatusImage(IRenderer& r) override;
  void PaintText(IRenderer& r) override;
  const EditBuffer& Buffer() const { return m_buffer; }
  Rect TextArea() const;
  // Horizontal position of the caret at text index `pos`, in window coordinates.
  int XOfIndex(size_t pos);
  size_t IndexAtX(int x);

 private:
  void Changed();
  void OnSetFocus();
  void OnKillFocus();
  // A key the box acts on (true), or one left to the label underneath (false).
  bool OnKeyDown(const UIEvent& e);
  // Puts the selection on the clipboard; false when there is none to put.
  bool CopySelection();
  void ScrollToCaret();
  void UpdateIme();
  Rect GetEditTextPadding() const;

  EditBuffer m_buffer;
  bool m_hot = false;
  bool m_dragging = false;
  bool m_caretOn = false;
  bool m_dpiTextPadding = false;
  bool m_caretFollowTextColor = false;
  bool m_autoSelAll = false;
  int m_scrollX = 0;
  std::wstring m_normalImage, m_hotImage, m_focusedImage, m_disabledImage;
};

}  // namespace skin
