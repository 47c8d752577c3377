// The paint manager of one engine window, the façade the windows use: it owns the control
// tree, lays it out, runs per-control timers and delivers notifications; painting is the
// renderer's (renderer.h, into a per-pixel-alpha layered window when the skin asks for
// one), fonts and pictures the resource cache's (resourcecache.h), mouse and keyboard the
// input router's (inputrouter.h). The skin archive and the list of engine windows are
// process-wide (skinresources.h).
#pragma once
#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "inputrouter.h"
#include "markupbuilder.h"
#include "renderer.h"
#include "resourcecache.h"
#include "skinarchive.h"
#include "uicontainer.h"

namespace skin {

struct TNotifyUI {
  std::wstring sType;
  CControlUI* pSender = nullptr;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
  DWORD dwTimestamp = 0;
  POINT ptMouse{0, 0};
};

class INotifyUI {
 public:
  virtual ~INotifyUI() = default;
  virtual void Notify(TNotifyUI& msg) = 0;
};

class IMessageFilterUI {
 public:
  virtual ~IMessageFilterUI() = default;
  virtual LRESULT MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) = 0;
};

class CPaintManagerUI : public IUIContext {
 public:
  CPaintManagerUI();
  ~CPaintManagerUI() override;
  CPaintManagerUI(const CPaintManagerUI&) = delete;
  CPaintManagerUI& operator=(const CPaintManagerUI&) = delete;

  // The skin archive, given once as a memory block (copied) and kept for the process.
  static bool SetResourceZip(const void* data, size_t size);
  static CSkinArchive& Archive();
  static bool ReadSkinFile(const std::wstring& path, std::string* bytes);
  // Applies a DPI to every engine window.
  static void SetAllDPI(int dpi);
  static void MessageLoop();

  void Init(HWND hwnd);
  HWND GetPaintWindow() const { return m_hwnd; }
  // Takes the built tree and the root element's settings.
  void AttachDialog(std::unique_ptr<CControlUI> root, const WindowSpec& image);
  CControlUI* GetRoot() const { return m_root.get(); }
  const WindowSpec& GetWindowSpec() const { return m_settings; }
  CControlUI* FindControl(const std::wstring& name) const;
  CControlUI* FindSubControlByName(CControlUI* parent, const std::wstring& name) const;
  CControlUI* FindControlAt(POINT pt) const;

  void AddNotifier(INotifyUI* notifier);
  void AddMessageFilter(IMessageFilterUI* filter);

  // Window messages; true when handled (with the result in `result`).
  bool MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

  void SetDPI(int dpi);
  int GetDPI() const { return m_dpi; }
  SIZE GetInitSize() const;
  // Lays out now when needed (tests and measurements read positions after this).
  void UpdateLayout();
  // The skin's default font at the window's scale (tooltips use it).
  HFONT GetDefaultFont();

  // IUIContext
  int Scale() const override { return m_scale; }
  void Invalidate(const Rect& rc) override;
  void NeedUpdate() override;
  void SendNotify(CControlUI* sender, const std::wstring& type, uintptr_t wParam = 0, intptr_t lParam = 0) override;
  bool SetTimer(CControlUI* control, unsigned id, unsigned elapse) override;
  bool KillTimer(CControlUI* control, unsigned id) override;
  void SetFocus(CControlUI* control) override;
  CControlUI* GetFocus() const override { return m_focus; }
  Size MeasureText(const std::wstring& text, int font, int width, unsigned style) override;
  std::wstring GetClipboardText() override;
  void SetClipboardText(const std::wstring& text) override;
  void SetImePosition(const Point& caret, int height) override;
  void ControlRemoved(CControlUI* control) override;
  std::vector<int> ImageFrameDelays(const std::wstring& attribute) override;

 private:
  DrawingContext Drawing() { return {m_cache, m_settings, m_scale}; }
  void Paint();
  void ScheduleRepaint();
  bool OnControlTimer(WPARAM key);

  HWND m_hwnd = nullptr;
  std::unique_ptr<CControlUI> m_root;
  WindowSpec m_settings;
  int m_dpi = 96;
  int m_scale = 100;
  bool m_needUpdate = true;
  bool m_repaintPending = false;
  CControlUI* m_focus = nullptr;
  std::vector<INotifyUI*> m_notifiers;
  std::vector<IMessageFilterUI*> m_filters;
  struct TimerInfo { CControlUI* control; unsigned id; };
  std::map<UINT_PTR, TimerInfo> m_timers;
  UINT_PTR m_nextTimer = 0x1000;
  CResourceCache m_cache;
  CBackBuffer m_buffer;
  CInputRouter m_input{*this};
};

}  // namespace skin
