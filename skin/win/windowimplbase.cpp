#include "windowimplbase.h"

#include <windowsx.h>

#include "dpi.h"
#include "framehittest.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif
#include "monitordpi.h"
#include "msgbox.h"
#include "shadow.h"
#include "uicontrols.h"
#include "uiedit.h"

namespace skin {

// ---- notification table ----

void CNotifyPump::BindNotify(const std::wstring& type, const std::wstring& name, Handler handler) {
  m_entries.push_back({type, name, std::move(handler)});
}

bool CNotifyPump::LoopDispatch(TNotifyUI& msg) {
  const std::wstring name = msg.pSender ? msg.pSender->GetName() : std::wstring();
  for (Entry& e : m_entries) {
    if (e.type == msg.sType && (e.name.empty() || e.name == name)) {
      e.handler(msg);
      return true;
    }
  }
  return false;
}

// ---- plain window wrapper ----

CWindowWnd::~CWindowWnd() {
  if (m_hWnd && IsWindow(m_hWnd)) {
    SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);
    DestroyWindow(m_hWnd);
  }
}

HWND CWindowWnd::Create(HWND parent, const wchar_t* name, DWORD style, DWORD exStyle, int x, int y, int cx, int cy) {
  WNDCLASSEXW wc{sizeof(wc)};
  HINSTANCE inst = GetModuleHandleW(nullptr);
  if (!GetClassInfoExW(inst, GetWindowClassName(), &wc)) {
    wc = WNDCLASSEXW{sizeof(wc)};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = GetWindowClassName();
    if (!RegisterClassExW(&wc)) return nullptr;
  }
  return CreateWindowExW(exStyle, GetWindowClassName(), name, style, x, y, cx, cy, parent, nullptr, inst, this);
}

LRESULT CALLBACK CWindowWnd::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  CWindowWnd* self;
  if (msg == WM_NCCREATE) {
    self = static_cast<CWindowWnd*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->m_hWnd = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
  if (msg == WM_NCDESTROY) {
    LRESULT r = self->HandleMessage(msg, wParam, lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->m_hWnd = nullptr;
    return r;
  }
  return self->HandleMessage(msg, wParam, lParam);
}

LRESULT CWindowWnd::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(m_hWnd, msg, wParam, lParam);
}

void CWindowWnd::ShowWindow(bool show, bool takeFocus) {
  ::ShowWindow(m_hWnd, show ? (takeFocus ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE) : SW_HIDE);
}

void CWindowWnd::Close(UINT ret) { PostMessageW(m_hWnd, WM_CLOSE, ret, 0); }

void CWindowWnd::CenterWindow() {
  RECT rc;
  GetWindowRect(m_hWnd, &rc);
  MONITORINFO mi{sizeof(mi)};
  GetMonitorInfoW(MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTOPRIMARY), &mi);
  const RECT& work = mi.rcWork;
  int w = rc.right - rc.left, h = rc.bottom - rc.top;
  int x = work.left + (work.right - work.left - w) / 2;
  int y = work.top + (work.bottom - work.top - h) / 2;
  SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWindowWnd::SetIcon(UINT resourceId) {
  HINSTANCE inst = GetModuleHandleW(nullptr);
  auto big = static_cast<HICON>(LoadImageW(inst, MAKEINTRESOURCEW(resourceId), IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                           GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
  auto small = static_cast<HICON>(LoadImageW(inst, MAKEINTRESOURCEW(resourceId), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
  if (big) SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
  if (small) SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
}

// ---- skinned window ----

WindowImplBase::WindowImplBase() {
  m_baseTable.BindNotify(L"click", L"closebtn", [this](TNotifyUI&) { Close(); });
  m_baseTable.BindNotify(L"click", L"minbtn", [this](TNotifyUI&) { SendMessageW(m_hWnd, WM_SYSCOMMAND, SC_MINIMIZE, 0); });
  m_baseTable.BindNotify(L"click", L"maxbtn", [this](TNotifyUI&) { SendMessageW(m_hWnd, WM_SYSCOMMAND, SC_MAXIMIZE, 0); });
  m_baseTable.BindNotify(L"click", L"restorebtn", [this](TNotifyUI&) { SendMessageW(m_hWnd, WM_SYSCOMMAND, SC_RESTORE, 0); });
  m_baseTable.BindNotify(L"timer", L"", [this](TNotifyUI& msg) { OnTimerNotify(msg); });
  for (const wchar_t* type : {L"headerclick", L"selectchanged", L"textchanged", L"itemselect"}) {
    m_baseTable.BindNotify(type, L"", [](TNotifyUI&) {});
  }
}

WindowImplBase::~WindowImplBase() = default;

void WindowImplBase::OnLayoutFailure(const std::wstring& skinFile, const std::wstring&) {
  std::wstring text = L"\u52A0\u8F7D\u8D44\u6E90\u6587\u4EF6\u5931\u8D25\uFF1A" + skinFile;  // 加载资源文件失败：
  ZpkMessageBox(m_hWnd, text.c_str(), L"Skin", MB_ICONERROR);
  ExitProcess(1);
}

void WindowImplBase::Notify(TNotifyUI& msg) {
  if (LoopDispatch(msg)) return;
  m_baseTable.LoopDispatch(msg);
}

LRESULT WindowImplBase::MessageHandler(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

LRESULT WindowImplBase::OnWindowDestroyed(UINT, WPARAM, LPARAM, BOOL& handled) {
  handled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnAppMessage(UINT, WPARAM, LPARAM, BOOL& handled) {
  handled = FALSE;
  return 0;
}

void WindowImplBase::ApplyDpi(int dpi) {
  CPaintManagerUI::SetAllDPI(dpi);
  if (!m_hWnd) return;
  SIZE size = m_pm.GetInitSize();
  RECT rc;
  GetWindowRect(m_hWnd, &rc);
  int cx = (rc.left + rc.right) / 2, cy = (rc.top + rc.bottom) / 2;
  SetWindowPos(m_hWnd, nullptr, cx - size.cx / 2, cy - size.cy / 2, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
  if (m_shadow) {
    m_shadow->SetSize(ScaleValue(12, m_pm.Scale()));
    m_shadow->Update(m_hWnd);
  }
}

LRESULT WindowImplBase::OnCreate(UINT, WPARAM, LPARAM, BOOL& handled) {
  handled = TRUE;
  LONG_PTR style = GetWindowLongPtrW(m_hWnd, GWL_STYLE);
  style &= ~static_cast<LONG_PTR>(WS_CAPTION);
  SetWindowLongPtrW(m_hWnd, GWL_STYLE, style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
  m_pm.Init(m_hWnd);

  WindowSpec image;
  std::wstring error;
  std::unique_ptr<CControlUI> root = BuildMarkup(SkinFile(), CPaintManagerUI::ReadSkinFile, this, &image, &error);
  if (!root) {
    OnLayoutFailure(SkinFile(), error);
    return -1;
  }
  m_pm.AttachDialog(std::move(root), image);
  m_pm.AddNotifier(this);
  m_pm.AddMessageFilter(this);
  if (image.layered) {
    SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE) | WS_EX_LAYERED);
  }
  if (image.autoDpi) {
    int dpi = 0;
    if (!GetMonitorDpi(MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTOPRIMARY), &dpi)) dpi = ScreenDpi();
    CPaintManagerUI::SetAllDPI(SnapDpi(dpi));
  }
  SIZE size = m_pm.GetInitSize();
  SetWindowPos(m_hWnd, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  if (image.showShadow) {
    m_shadow = std::make_unique<CShadowWindow>();
    if (!m_shadow->Create(m_hWnd)) m_shadow.reset();
    else m_shadow->SetSize(ScaleValue(12, m_pm.Scale()));
  }
  SetUpControls();
  return 0;
}

LRESULT WindowImplBase::OnNcHitTest(LPARAM lParam) {
  POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  ScreenToClient(m_hWnd, &pt);
  RECT client;
  GetClientRect(m_hWnd, &client);
  const WindowSpec& frame = m_pm.GetWindowSpec();
  auto scaled = [this](const Rect& r) {
    int s = m_pm.Scale();
    return Rect{ScaleValue(r.left, s), ScaleValue(r.top, s), ScaleValue(r.right, s), ScaleValue(r.bottom, s)};
  };
  FrameZone zone = FrameHitTest({client.left, client.top, client.right, client.bottom}, scaled(frame.sizeBox),
                                scaled(frame.sizeBoxInset), scaled(frame.caption), !IsZoomed(m_hWnd), {pt.x, pt.y});
  switch (zone) {
    case FrameZone::Left: return HTLEFT;
    case FrameZone::Right: return HTRIGHT;
    case FrameZone::Top: return HTTOP;
    case FrameZone::Bottom: return HTBOTTOM;
    case FrameZone::TopLeft: return HTTOPLEFT;
    case FrameZone::TopRight: return HTTOPRIGHT;
    case FrameZone::BottomLeft: return HTBOTTOMLEFT;
    case FrameZone::BottomRight: return HTBOTTOMRIGHT;
    case FrameZone::Caption: {
      // Controls that take clicks keep them inside the caption band.
      CControlUI* c = m_pm.FindControlAt(pt);
      bool takesClicks = ControlCast<CButtonUI>(c) || ControlCast<CRichEditUI>(c);
      return takesClicks ? HTCLIENT : HTCAPTION;
    }
    case FrameZone::Client: break;
  }
  return HTCLIENT;
}

LRESULT WindowImplBase::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  BOOL handled = FALSE;
  LRESULT r = OnAppMessage(msg, wParam, lParam, handled);
  if (handled) return r;
  switch (msg) {
    case WM_CREATE:
      r = OnCreate(msg, wParam, lParam, handled);
      return r;
    case WM_DESTROY:
      m_shadow.reset();
      r = OnWindowDestroyed(msg, wParam, lParam, handled);
      if (handled) return r;
      break;
    case WM_NCCALCSIZE:
      if (wParam) return 0;  // the whole window is client area
      break;
    case WM_NCACTIVATE:
      if (!IsIconic(m_hWnd)) return wParam ? 0 : TRUE;
      break;
    case WM_NCPAINT:
      return 0;
    case WM_NCHITTEST:
      return OnNcHitTest(lParam);
    case WM_GETMINMAXINFO: {
      auto* mmi = reinterpret_cast<MINMAXINFO*>(lParam);
      const WindowSpec& image = m_pm.GetWindowSpec();
      if (image.minInfo.cx > 0) mmi->ptMinTrackSize.x = ScaleValue(image.minInfo.cx, m_pm.Scale());
      if (image.minInfo.cy > 0) mmi->ptMinTrackSize.y = ScaleValue(image.minInfo.cy, m_pm.Scale());
      return 0;
    }
    case WM_WINDOWPOSCHANGED:
    case WM_SHOWWINDOW:
    case WM_SIZE:
    case WM_MOVE:
      if (m_shadow) {
        LRESULT res = 0;
        bool done = m_pm.MessageHandler(msg, wParam, lParam, res);
        m_shadow->Update(m_hWnd);
        if (done) return res;
        return DefWindowProcW(m_hWnd, msg, wParam, lParam);
      }
      break;
    case WM_DPICHANGED:
      if (m_pm.GetWindowSpec().autoDpi) {
        CPaintManagerUI::SetAllDPI(SnapDpi(LOWORD(wParam)));
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        SIZE size = m_pm.GetInitSize();
        SetWindowPos(m_hWnd, nullptr, suggested->left, suggested->top, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
        if (m_shadow) {
          m_shadow->SetSize(ScaleValue(12, m_pm.Scale()));
          m_shadow->Update(m_hWnd);
        }
        return 0;
      }
      break;
    default:
      break;
  }
  LRESULT res = 0;
  if (m_pm.MessageHandler(msg, wParam, lParam, res)) return res;
  return CWindowWnd::HandleMessage(msg, wParam, lParam);
}

}  // namespace skin
