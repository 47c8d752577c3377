// The base of every skinned window: a borderless top-level window whose content is
// built from a layout file of the skin archive, drawn by its paint manager (layered,
// per-pixel alpha, with a drop shadow when the skin asks), moved by its caption band,
// scaled by the monitor's DPI; notifications reach handlers bound by type and control
// name, the derived window's bindings first.
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "markupbuilder.h"
#include "paintmanager.h"

namespace skin {

class CShadowWindow;

// Handlers bound to (notification type, control name); an empty name matches any control.
class CNotifyPump {
 public:
  using Handler = std::function<void(TNotifyUI&)>;
  virtual ~CNotifyPump() = default;
  void BindNotify(const std::wstring& type, const std::wstring& name, Handler handler);
  // True when a handler took the notification.
  bool LoopDispatch(TNotifyUI& msg);

 private:
  struct Entry { std::wstring type, name; Handler handler; };
  std::vector<Entry> m_entries;
};

// Lets a window give controls their texts from elsewhere (translations); this skin needs none.
class IQueryControlText {
 public:
  virtual ~IQueryControlText() = default;
  virtual std::wstring QueryControlText(const std::wstring& text, const std::wstring& type) { return text; }
};

class CWindowWnd {
 public:
  CWindowWnd() = default;
  virtual ~CWindowWnd();
  HWND GetHWND() const { return m_hWnd; }
  operator HWND() const { return m_hWnd; }
  HWND Create(HWND parent, const wchar_t* name, DWORD style, DWORD exStyle, int x = CW_USEDEFAULT,
              int y = CW_USEDEFAULT, int cx = CW_USEDEFAULT, int cy = CW_USEDEFAULT);
  void ShowWindow(bool show = true, bool takeFocus = true);
  void Close(UINT ret = IDOK);
  void CenterWindow();
  void SetIcon(UINT resourceId);
  virtual const wchar_t* GetWindowClassName() const = 0;
  virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);

 protected:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  HWND m_hWnd = nullptr;
};

class WindowImplBase : public CWindowWnd,
                       public CNotifyPump,
                       public INotifyUI,
                       public IMessageFilterUI,
                       public IDialogBuilderCallback,
                       public IQueryControlText {
 public:
  WindowImplBase();
  ~WindowImplBase() override;

  virtual const wchar_t* WindowClassName() const = 0;
  // Called once the layout has been built, while the window is being created.
  virtual void SetUpControls() {}
  virtual void OnTimerNotify(TNotifyUI& msg) {}
  virtual std::wstring SkinFile() = 0;
  virtual LRESULT OnWindowDestroyed(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled);
  // Sees every message before the base handles it.
  virtual LRESULT OnAppMessage(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled);

  const wchar_t* GetWindowClassName() const override { return WindowClassName(); }
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void Notify(TNotifyUI& msg) override;
  LRESULT MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
  CControlUI* CreateControl(const std::wstring& className) override { return nullptr; }

  CPaintManagerUI& PaintManager() { return m_pm; }
  // Applies a DPI to this window: scale, size kept around its centre, relayout.
  void ApplyDpi(int dpi);

 protected:
  // A layout that does not build: by default an error box, then the process ends (the
  // installer has nothing to show without it). A window with another way out overrides it;
  // the window is then not created.
  virtual void OnLayoutFailure(const std::wstring& skinFile, const std::wstring& reason);
  virtual LRESULT OnCreate(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled);
  LRESULT OnNcHitTest(LPARAM lParam);

  CPaintManagerUI m_pm;
  CNotifyPump m_baseTable;
  std::unique_ptr<CShadowWindow> m_shadow;
};

}  // namespace skin
