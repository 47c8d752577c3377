// Containers and the layouts that place their children: the plain container (children
// fill its content area), horizontal and vertical stacks, the tab layout (one page at a
// time), and the float rule for children placed outside the flow.
#pragma once
#include <memory>
#include <vector>

#include "uicontrol.h"

namespace skin {

class CContainerUI : public CControlUI {
 public:
  std::wstring GetClass() const override { return L"ContainerUI"; }
  void SetManager(IUIContext* manager, CControlUI* parent) override;

  bool Add(CControlUI* control);  // takes ownership
  int GetCount() const { return static_cast<int>(m_items.size()); }
  CControlUI* GetItemAt(int index) const;
  int GetItemIndex(const CControlUI* control) const;

  Rect GetInset() const;
  int GetChildPaddingH() const { return m_dpiChildPadding ? ScaleInt(m_childPaddingH) : m_childPaddingH; }
  int GetChildPaddingV() const { return m_dpiChildPadding ? ScaleInt(m_childPaddingV) : m_childPaddingV; }

  void SetPos(const Rect& rc, bool needInvalidate = true) override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void DoPaint(IRenderer& r, const Rect& dirty) override;
  CControlUI* FindControlAt(Point pt) override;
  CControlUI* FindControl(const std::wstring& name) override;
  // Every descendant of class T, in creation order.
  template <typename T>
  std::vector<T*> FindAll() {
    std::vector<T*> out;
    CollectAll(this, [&](CControlUI* c) { if (T* t = ControlCast<T>(c)) out.push_back(t); });
    return out;
  }
  template <typename F>
  static void CollectAll(CContainerUI* c, F f) {
    for (auto& item : c->m_items) {
      f(item.get());
      if (auto* sub = ControlCast<CContainerUI>(item.get())) CollectAll(sub, f);
    }
  }

  // Places one floating child by the float rule.
  void SetFloatPos(int index);

 protected:
  Rect ContentArea() const;

  std::vector<std::unique_ptr<CControlUI>> m_items;
  Rect m_inset;
  bool m_dpiInset = true;
  int m_childPaddingH = 0;
  int m_childPaddingV = 0;
  bool m_dpiChildPadding = false;
  unsigned m_childAlign = 0;   // vertical layout: left 0, center 1, right 2
  unsigned m_childVAlign = 0;  // horizontal layout: top 0, vcenter 4, bottom 8
};

class CHorizontalLayoutUI : public CContainerUI {
 public:
  std::wstring GetClass() const override { return L"HorizontalLayoutUI"; }
  void SetPos(const Rect& rc, bool needInvalidate = true) override;
  Size EstimateSize(Size available) override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  Size GetNeededSize() const { return m_needed; }

 private:
  bool m_expandBalance = false;
  bool m_autoCalcWidth = false;
  Size m_needed;
};

class CVerticalLayoutUI : public CContainerUI {
 public:
  std::wstring GetClass() const override { return L"VerticalLayoutUI"; }
  void SetPos(const Rect& rc, bool needInvalidate = true) override;
  Size GetNeededSize() const { return m_needed; }

 private:
  Size m_needed;
};

class CTabLayoutUI : public CContainerUI {
 public:
  std::wstring GetClass() const override { return L"TabLayoutUI"; }
  void SetPos(const Rect& rc, bool needInvalidate = true) override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void SetManager(IUIContext* manager, CControlUI* parent) override;
  int GetCurSel() const { return m_curSel; }
  // Shows page `index` and hides the others; "tabselect" is sent when `notify` is set.
  bool SelectItem(int index, bool notify = true);
  bool SelectItem(CControlUI* page, bool notify = true);

 private:
  int m_curSel = 0;
};

}  // namespace skin
