#include "paintmanager.h"

#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>

#include "dpi.h"
#include "skinresources.h"

namespace skin {

namespace {

UINT RepaintMessage() {
  static UINT msg = RegisterWindowMessageW(L"ZpkSkinRepaint");
  return msg;
}

void EnsureGdiplus() {
  static ULONG_PTR token = 0;
  if (token) return;
  Gdiplus::GdiplusStartupInput input;
  Gdiplus::GdiplusStartup(&token, &input, nullptr);
}

}  // namespace

// ---- process-wide ----

bool CPaintManagerUI::SetResourceZip(const void* data, size_t size) {
  return skinresources::Archive().Open(data, size);
}
CSkinArchive& CPaintManagerUI::Archive() { return skinresources::Archive(); }
bool CPaintManagerUI::ReadSkinFile(const std::wstring& path, std::string* bytes) {
  return skinresources::Archive().Read(path, bytes);
}

void CPaintManagerUI::SetAllDPI(int dpi) {
  for (CPaintManagerUI* pm : skinresources::Managers()) pm->SetDPI(dpi);
}

void CPaintManagerUI::MessageLoop() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// ---- window ----

CPaintManagerUI::CPaintManagerUI() { skinresources::Managers().push_back(this); }

CPaintManagerUI::~CPaintManagerUI() {
  auto& all = skinresources::Managers();
  all.erase(std::remove(all.begin(), all.end(), this), all.end());
  // Controls tell the manager when they go; nothing must be left pointing at them.
  m_root.reset();
  m_cache.Reset();
}

void CPaintManagerUI::Init(HWND hwnd) {
  EnsureGdiplus();
  m_hwnd = hwnd;
}

void CPaintManagerUI::AttachDialog(std::unique_ptr<CControlUI> root, const WindowSpec& image) {
  m_root = std::move(root);
  m_settings = image;
  m_cache.Reset();  // the fonts come from the new settings
  if (m_root) m_root->SetManager(this, nullptr);
  NeedUpdate();
}

CControlUI* CPaintManagerUI::FindControl(const std::wstring& name) const {
  return m_root ? m_root->FindControl(name) : nullptr;
}

CControlUI* CPaintManagerUI::FindSubControlByName(CControlUI* parent, const std::wstring& name) const {
  return parent ? parent->FindControl(name) : nullptr;
}

CControlUI* CPaintManagerUI::FindControlAt(POINT pt) const {
  return m_root ? m_root->FindControlAt({pt.x, pt.y}) : nullptr;
}

void CPaintManagerUI::AddNotifier(INotifyUI* n) {
  if (std::find(m_notifiers.begin(), m_notifiers.end(), n) == m_notifiers.end()) m_notifiers.push_back(n);
}

void CPaintManagerUI::AddMessageFilter(IMessageFilterUI* f) {
  if (std::find(m_filters.begin(), m_filters.end(), f) == m_filters.end()) m_filters.push_back(f);
}

SIZE CPaintManagerUI::GetInitSize() const {
  return {ScaleValue(m_settings.size.cx, m_scale), ScaleValue(m_settings.size.cy, m_scale)};
}

void CPaintManagerUI::SetDPI(int dpi) {
  if (dpi <= 0) return;
  const int scale = ScaleForDpi(dpi);
  if (scale == m_scale && dpi == m_dpi) return;
  m_dpi = dpi;
  m_scale = scale;
  m_cache.Reset();
  NeedUpdate();
  if (m_root) SendNotify(m_root.get(), L"dpichanged", static_cast<uintptr_t>(dpi));
}

void CPaintManagerUI::UpdateLayout() {
  if (!m_needUpdate || !m_root || !m_hwnd) return;
  m_needUpdate = false;
  RECT rc;
  GetClientRect(m_hwnd, &rc);
  m_root->SetPos({rc.left, rc.top, rc.right, rc.bottom}, false);
}

HFONT CPaintManagerUI::GetDefaultFont() {
  CResourceCache::Font* font = m_cache.GetFont(-1, m_settings.fonts, m_scale);
  return font ? font->hfont : nullptr;
}

// ---- IUIContext ----

void CPaintManagerUI::Invalidate(const Rect&) { ScheduleRepaint(); }

void CPaintManagerUI::NeedUpdate() {
  m_needUpdate = true;
  ScheduleRepaint();
}

void CPaintManagerUI::ScheduleRepaint() {
  if (!m_hwnd || m_repaintPending) return;
  m_repaintPending = true;
  if (m_settings.layered) PostMessageW(m_hwnd, RepaintMessage(), 0, 0);
  else InvalidateRect(m_hwnd, nullptr, FALSE);
}

void CPaintManagerUI::SendNotify(CControlUI* sender, const std::wstring& type, uintptr_t wParam, intptr_t lParam) {
  TNotifyUI msg;
  msg.sType = type;
  msg.pSender = sender;
  msg.wParam = wParam;
  msg.lParam = lParam;
  msg.dwTimestamp = GetTickCount();
  GetCursorPos(&msg.ptMouse);
  if (m_hwnd) ScreenToClient(m_hwnd, &msg.ptMouse);
  // A handler may add or remove notifiers: walk a copy.
  std::vector<INotifyUI*> notifiers = m_notifiers;
  for (INotifyUI* n : notifiers) n->Notify(msg);
}

bool CPaintManagerUI::SetTimer(CControlUI* control, unsigned id, unsigned elapse) {
  if (!m_hwnd || !control) return false;
  for (auto& t : m_timers) {
    if (t.second.control == control && t.second.id == id) return ::SetTimer(m_hwnd, t.first, elapse, nullptr) != 0;
  }
  const UINT_PTR key = m_nextTimer++;
  if (!::SetTimer(m_hwnd, key, elapse, nullptr)) return false;
  m_timers[key] = {control, id};
  return true;
}

bool CPaintManagerUI::KillTimer(CControlUI* control, unsigned id) {
  for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
    if (it->second.control == control && it->second.id == id) {
      if (m_hwnd) ::KillTimer(m_hwnd, it->first);
      m_timers.erase(it);
      return true;
    }
  }
  return false;
}

void CPaintManagerUI::SetFocus(CControlUI* control) {
  if (control == m_focus) return;
  if (m_hwnd && control && ::GetFocus() != m_hwnd) ::SetFocus(m_hwnd);
  CControlUI* old = m_focus;
  m_focus = control;
  if (old) {
    UIEvent e;
    e.type = EventType::KillFocus;
    old->Event(e);
  }
  if (control) {
    UIEvent e;
    e.type = EventType::SetFocus;
    control->Event(e);
    SendNotify(control, L"setfocus");
  }
}

void CPaintManagerUI::ControlRemoved(CControlUI* control) {
  if (m_focus == control) m_focus = nullptr;
  m_input.Forget(control);
  for (auto it = m_timers.begin(); it != m_timers.end();) {
    if (it->second.control != control) {
      ++it;
      continue;
    }
    if (m_hwnd) ::KillTimer(m_hwnd, it->first);
    it = m_timers.erase(it);
  }
}

std::wstring CPaintManagerUI::GetClipboardText() {
  std::wstring text;
  if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(m_hwnd)) return text;
  if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
    if (const wchar_t* p = static_cast<const wchar_t*>(GlobalLock(h))) {
      text = std::wstring(p, wcsnlen(p, GlobalSize(h) / sizeof(wchar_t)));
      GlobalUnlock(h);
    }
  }
  CloseClipboard();
  return text;
}

void CPaintManagerUI::SetClipboardText(const std::wstring& text) {
  if (!OpenClipboard(m_hwnd)) return;
  EmptyClipboard();
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  if (HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
    if (void* p = GlobalLock(h)) {
      memcpy(p, text.c_str(), bytes);
      GlobalUnlock(h);
      if (!SetClipboardData(CF_UNICODETEXT, h)) GlobalFree(h);
    } else {
      GlobalFree(h);
    }
  }
  CloseClipboard();
}

void CPaintManagerUI::SetImePosition(const Point& caret, int height) { m_input.SetImePosition(caret, height); }

Size CPaintManagerUI::MeasureText(const std::wstring& text, int font, int width, unsigned style) {
  return skin::MeasureText(Drawing(), text, font, width, style);
}

std::vector<int> CPaintManagerUI::ImageFrameDelays(const std::wstring& attribute) {
  ImageSpec image;
  ImageLocation loc;
  CResourceCache::Image* img = m_cache.ForAttribute(attribute, m_scale, &image, &loc);
  if (!img || !img->pixels.IsAnimated()) return {};
  return img->pixels.delays;
}

// ---- painting and messages ----

void CPaintManagerUI::Paint() {
  m_repaintPending = false;
  if (!m_hwnd || IsIconic(m_hwnd)) return;
  UpdateLayout();
  m_buffer.Present(m_hwnd, m_settings.layered, m_scale, [this](Gdiplus::Graphics& g, int width, int height) {
    g.Clear(Gdiplus::Color(0, 0, 0, 0));
    if (!m_root) return;
    CGdiplusRenderer renderer(g, Drawing());
    m_root->DoPaint(renderer, {0, 0, width, height});
  });
}

bool CPaintManagerUI::OnControlTimer(WPARAM key) {
  auto it = m_timers.find(key);
  if (it == m_timers.end()) return false;
  const TimerInfo info = it->second;
  UIEvent e;
  e.type = EventType::Timer;
  e.key = info.id;
  info.control->Event(e);
  return true;
}

bool CPaintManagerUI::MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  for (IMessageFilterUI* f : std::vector<IMessageFilterUI*>(m_filters)) {
    bool handled = false;
    const LRESULT r = f->MessageHandler(msg, wParam, lParam, handled);
    if (handled) {
      result = r;
      return true;
    }
  }
  result = 0;
  if (msg == RepaintMessage()) {
    Paint();
    return true;
  }
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(m_hwnd, &ps);
      EndPaint(m_hwnd, &ps);
      Paint();
      return true;
    }
    case WM_ERASEBKGND:
      result = 1;
      return true;
    case WM_SIZE:
      if (wParam != SIZE_MINIMIZED) NeedUpdate();
      return false;
    case WM_SHOWWINDOW:
      if (wParam) ScheduleRepaint();
      return false;
    case WM_TIMER:
      return m_input.Route(msg, wParam, lParam, result) || OnControlTimer(wParam);
    default:
      return m_input.Route(msg, wParam, lParam, result);
  }
}

}  // namespace skin
