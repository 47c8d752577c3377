// The leaf controls the skin uses: text label, button with state images, option (check
// box), progress bar.
#pragma once
#include "uicontrol.h"

namespace skin {

class CLabelUI : public CControlUI {
 public:
  std::wstring GetClass() const override { return L"LabelUI"; }
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  Size EstimateSize(Size available) override;
  void SetText(const std::wstring& text) override;
  void PaintText(IRenderer& r) override;
  Rect GetTextPadding() const;
  int GetFont() const { return m_font; }
  Color GetTextColor() const { return m_textColor; }

 protected:
  virtual int CurrentFont() const { return m_font; }
  virtual Color CurrentTextColor() const;

  int m_font = -1;
  Color m_textColor = 0;
  Color m_disabledTextColor = 0;
  unsigned m_textStyle = kTextVCenter | kTextSingleLine;
  Rect m_textPadding;
  bool m_autoCalcWidth = false;
  bool m_autoCalcHeight = false;
  bool m_showHtml = false;
  // Measured size, valid for m_cachedFor at m_cachedScale and the current text.
  Size m_cachedFor{-1, -1};
  int m_cachedScale = 0;
  Size m_cachedSize;
};

class CButtonUI : public CLabelUI {
 public:
  CButtonUI() { m_textStyle = kTextCenter | kTextVCenter | kTextSingleLine; }
  std::wstring GetClass() const override { return L"ButtonUI"; }
  bool IsFocusable() const override { return true; }
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void DoEvent(UIEvent& event) override;
  void PaintStatusImage(IRenderer& r) override;
  void SetEnabled(bool enabled) override;
  bool IsHot() const { return m_hot; }
  bool IsPushed() const { return m_pushed; }
  // What a click does: buttons notify "click".
  virtual bool Activate();

 protected:
  int CurrentFont() const override;
  Color CurrentTextColor() const override;
  // The state image to draw now (empty for none).
  virtual std::wstring StateImage() const;

  bool m_hot = false;
  bool m_pushed = false;
  int m_hotFont = -1;
  Color m_hotTextColor = 0;
  Color m_pushedTextColor = 0;
  std::wstring m_normalImage, m_hotImage, m_pushedImage, m_focusedImage, m_disabledImage;
};

class COptionUI : public CButtonUI {
 public:
  std::wstring GetClass() const override { return L"OptionUI"; }
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void SetManager(IUIContext* manager, CControlUI* parent) override;
  bool IsSelected() const { return m_selected; }
  // Changes the selection; "selectchanged" is sent when `notify` is set.
  void Selected(bool selected, bool notify = true);
  bool Activate() override;
  const std::wstring& GetGroup() const { return m_group; }

 protected:
  std::wstring StateImage() const override;
  Color CurrentTextColor() const override;

  bool m_selected = false;
  std::wstring m_group;
  std::wstring m_selectedImage, m_selectedHotImage, m_selectedPushedImage;
  Color m_selectedTextColor = 0;
};

class CProgressUI : public CLabelUI {
 public:
  CProgressUI() { m_textStyle = kTextCenter | kTextVCenter | kTextSingleLine; }
  std::wstring GetClass() const override { return L"ProgressUI"; }
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  int GetMinValue() const { return m_min; }
  int GetMaxValue() const { return m_max; }
  int GetValue() const { return m_value; }
  void SetValue(int value);  // clamped to [min, max]
  void SetMaxValue(int value);
  void SetMinValue(int value);
  // The filled part of the bar's rectangle.
  Rect FilledRect() const;
  void PaintStatusImage(IRenderer& r) override;
  // The foreground picture is the fill, drawn over the filled part only.
  void PaintForeImage(IRenderer& r) override {}

 private:
  bool m_horizontal = true;
  int m_min = 0;
  int m_max = 100;
  int m_value = 0;
};

}  // namespace skin
