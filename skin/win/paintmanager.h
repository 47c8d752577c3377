// The paint manager of one engine window: owns the control tree, lays it out, paints it
// with GDI+ (into a per-pixel-alpha layered window when the skin asks for one), turns
// window messages into control events, runs per-control timers, delivers notifications,
// and keeps the window's fonts and decoded images. The skin archive and the list of
// engine windows are process-wide.
#pragma once
#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "imageresolve.h"
#include "markupbuilder.h"
#include "skinarchive.h"
#include "tooltip.h"
#include "uicontainer.h"

namespace Gdiplus {
class Bitmap;
class Font;
class Graphics;
}  // namespace Gdiplus

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
  static HINSTANCE GetInstance();

  void Init(HWND hwnd);
  HWND GetPaintWindow() const { return m_hwnd; }
  // Takes the built tree and the root element's settings.
  void AttachDialog(std::unique_ptr<CControlUI> root, const WindowSpec& image);
  CControlUI* GetRoot() const { return m_root.get(); }
  const WindowSpec& GetWindowSpec() const { return m_spec; }
  CControlUI* FindControl(const std::wstring& name) const;
  CControlUI* FindSubControlByName(CControlUI* parent, const std::wstring& name) const;
  CControlUI* FindControlAt(POINT pt) const;

  void AddNotifier(INotifyUI* notifier);
  void RemoveNotifier(INotifyUI* notifier);
  void AddMessageFilter(IMessageFilterUI* filter);
  void RemoveMessageFilter(IMessageFilterUI* filter);

  // Window messages; true when handled (with the result in `result`).
  bool MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

  void SetDPI(int dpi);
  int GetDPI() const { return m_dpi; }
  bool IsLayered() const { return m_spec.layered; }
  SIZE GetInitSize() const;
  RECT GetCaptionRect() const;
  // Lays out now when needed (tests and measurements read positions after this).
  void UpdateLayout();
  // The tooltip window while one is shown, else null.
  HWND GetToolTipWindow() const { return m_tooltip.IsVisible() ? m_tooltip.GetHWND() : nullptr; }

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

  // Drawing services for the renderer.
  void DrawImageAttribute(Gdiplus::Graphics& g, const std::wstring& attribute, const Rect& control, const Rect& clip,
                          int frame);
  void DrawTextAt(Gdiplus::Graphics& g, const std::wstring& text, const Rect& rc, int font, Color color, unsigned style);

 private:
  struct CachedImage;
  struct CachedFont;
  CachedImage* GetImage(const std::wstring& path, bool svg, int renderScale);
  CachedImage* GetImageForAttribute(const std::wstring& attribute, ImageSpec* image, ImageLocation* loc);
  CachedFont* GetFont(int id);
  void ResetCaches();
  void Paint();
  void RenderTo(Gdiplus::Graphics& g, int width, int height);
  void ScheduleRepaint();
  void CycleTab(bool backwards);
  void SetHover(CControlUI* control, POINT pt);
  void ShowToolTip();
  void HideToolTip();
  UIEvent MakeEvent(EventType type, POINT pt) const;

  HWND m_hwnd = nullptr;
  std::unique_ptr<CControlUI> m_root;
  WindowSpec m_spec;
  int m_dpi = 96;
  int m_scale = 100;
  bool m_needUpdate = true;
  bool m_repaintPending = false;
  bool m_mouseTracking = false;
  CControlUI* m_focus = nullptr;
  CControlUI* m_hover = nullptr;
  CControlUI* m_pushed = nullptr;
  // The tooltip of the hovered control, shown when the mouse has rested on it a while.
  CToolTipWindow m_tooltip;
  CControlUI* m_tooltipFor = nullptr;
  std::vector<INotifyUI*> m_notifiers;
  std::vector<IMessageFilterUI*> m_filters;
  struct TimerInfo { CControlUI* control; unsigned id; };
  std::map<UINT_PTR, TimerInfo> m_timers;
  UINT_PTR m_nextTimer = 0x1000;
  std::map<std::wstring, std::unique_ptr<CachedImage>> m_images;
  std::map<int, std::unique_ptr<CachedFont>> m_fonts;
  // The back buffer: a top-down 32-bit DIB shared by GDI and GDI+.
  HDC m_memDC = nullptr;
  HBITMAP m_dib = nullptr;
  HGDIOBJ m_oldBitmap = nullptr;
  void* m_bits = nullptr;
  SIZE m_dibSize{0, 0};
  Point m_imePos;
  int m_imeHeight = 0;
};

}  // namespace skin
