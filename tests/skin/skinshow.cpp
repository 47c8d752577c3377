// Shows the skin package in an engine window, the way the installer window does it
// (DPI of the monitor snapped to the scale steps, the path placeholder filled), on one
// page, prints the window's and the named controls' rectangles, and closes after a while.
//   skinshow.exe SKIN.zip PAGE [--ms=N] [--layout=FILE] [--answer] [--dpichange=DPI]
// --answer: message boxes are printed to standard error and answered with OK.
// --dpichange: after the first report the window gets WM_DPICHANGED for DPI (as when it
//   is moved to another monitor) and reports again with lines prefixed "after ".
// Tooltip windows of the process are watched: "tooltip shown TEXT l t r b" when one
// appears, "tooltip hidden" when it goes.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "dpi.h"
#include "monitordpi.h"
#include "msgbox.h"
#include "uicontainer.h"
#include "uicontrols.h"
#include "uiedit.h"
#include "windowimplbase.h"

using namespace skin;

namespace {

std::string Utf8(const std::wstring& w) {
  int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), &out[0], n, nullptr, nullptr);
  return out;
}

// Printed as UTF-8: the C runtime's wide output stops at the first character outside
// the console's code page.
int PrintBox(HWND, const wchar_t* text, const wchar_t* caption, UINT style) {
  fprintf(stderr, "MSGBOX style=0x%x caption=%s text=%s\n", style, Utf8(caption).c_str(), Utf8(text).c_str());
  fflush(stderr);
  return IDOK;
}

class CShowWindow : public WindowImplBase {
 public:
  CShowWindow(std::wstring layout, int page, int ms, int dpiChange)
      : m_layout(std::move(layout)), m_page(page), m_ms(ms), m_dpiChange(dpiChange) {
    BindNotify(L"click", L"BtnClose", [this](TNotifyUI&) { Close(); });
    BindNotify(L"click", L"BtnMin", [this](TNotifyUI&) { SendMessageW(m_hWnd, WM_SYSCOMMAND, SC_MINIMIZE, 0); });
  }
  const wchar_t* WindowClassName() const override { return L"ZpkSkinShow"; }
  std::wstring SkinFile() override { return m_layout; }

  void SetUpControls() override {
    int dpi = 0;
    if (!GetMonitorDpi(MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTOPRIMARY), &dpi)) dpi = ScreenDpi();
    ApplyDpi(SnapDpi(dpi));
    if (auto* path = ControlCast<CRichEditUI>(m_pm.FindControl(L"EditInstallPath"))) {
      path->SetText(L"C:\\Program Files\\RuvanZip");
    }
    if (auto* bar = ControlCast<CProgressUI>(m_pm.FindControl(L"ProgressInstall"))) bar->SetValue(40);
    if (auto* label = ControlCast<CLabelUI>(m_pm.FindControl(L"LabelInstallValue"))) {
      label->SetText(L"\u5B89\u88C5\u4E2D...  (40\uFF05)");
    }
    if (auto* tab = ControlCast<CTabLayoutUI>(m_pm.FindControl(L"TabMain"))) tab->SelectItem(m_page, false);
    CenterWindow();
    ::SetTimer(m_hWnd, 1, static_cast<UINT>(m_ms), nullptr);
    ::SetTimer(m_hWnd, 2, 700, nullptr);
    ::SetTimer(m_hWnd, 3, 100, nullptr);
  }

  LRESULT OnAppMessage(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override {
    if (msg == WM_TIMER && wParam == 1) {
      Close();
      handled = TRUE;
    } else if (msg == WM_TIMER && wParam == 2) {
      ::KillTimer(m_hWnd, 2);
      Report("");
      if (m_dpiChange > 0) ChangeDpi();
      handled = TRUE;
    } else if (msg == WM_TIMER && wParam == 3) {
      WatchToolTip();
      handled = TRUE;
    }
    return 0;
  }

  void Notify(TNotifyUI& msg) override {
    if (msg.sType != L"timer") {
      printf("notify %ls %ls %u\n", msg.sType.c_str(), msg.pSender ? msg.pSender->GetName().c_str() : L"",
             static_cast<unsigned>(msg.wParam));
      fflush(stdout);
    }
    WindowImplBase::Notify(msg);
  }

  LRESULT OnWindowDestroyed(UINT, WPARAM, LPARAM, BOOL& handled) override {
    if (auto* path = ControlCast<CRichEditUI>(m_pm.FindControl(L"EditInstallPath"))) {
      printf("text EditInstallPath=%s\n", Utf8(path->GetText()).c_str());
    }
    if (auto* root = ControlCast<CContainerUI>(m_pm.GetRoot())) {
      for (COptionUI* o : root->FindAll<COptionUI>()) printf("option %ls=%d\n", o->GetName().c_str(), o->IsSelected() ? 1 : 0);
    }
    fflush(stdout);
    PostQuitMessage(0);
    handled = FALSE;
    return 0;
  }

 private:
  void Report(const char* prefix) {
    m_pm.UpdateLayout();
    RECT wr;
    GetWindowRect(m_hWnd, &wr);
    printf("%sdpi %d scale %d\n", prefix, m_pm.GetDPI(), m_pm.Scale());
    printf("%swindow %ld %ld %ld %ld\n", prefix, wr.left, wr.top, wr.right, wr.bottom);
    auto* root = ControlCast<CContainerUI>(m_pm.GetRoot());
    if (root) {
      CContainerUI::CollectAll(root, [prefix](CControlUI* c) {
        if (c->GetName().empty()) return;
        const Rect& r = c->GetPos();
        printf("%sctl %ls %d %d %d %d %d\n", prefix, c->GetName().c_str(), r.left, r.top, r.right, r.bottom,
               c->IsVisible() ? 1 : 0);
      });
    }
    if (!*prefix) {
      ReportFont(L"\u5FAE\u8F6F\u96C5\u9ED1");  // 微软雅黑, the skin's face name
      ReportFont(L"Tahoma");
    }
    printf("%sready\n", prefix);
    fflush(stdout);
  }

  // How many of the caption's characters a font has no glyph for, and the family GDI
  // reports: the skin's face name must reach a CJK font (the prefix maps it to one);
  // Tahoma, without CJK glyphs, shows that the count notices missing ones.
  static void ReportFont(const wchar_t* name) {
    const wchar_t* sample = L"RuvanZip \u5B89\u88C5\u5411\u5BFC\u7ACB\u5373";  // 安装向导立即
    LOGFONTW lf{};
    lf.lfHeight = -16;
    lf.lfCharSet = DEFAULT_CHARSET;
    wcsncpy(lf.lfFaceName, name, LF_FACESIZE - 1);
    HFONT font = CreateFontIndirectW(&lf);
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    std::wstring family;
    UINT size = GetOutlineTextMetricsW(dc, 0, nullptr);
    std::vector<char> buf(size ? size : 1);
    auto* otm = reinterpret_cast<OUTLINETEXTMETRICW*>(buf.data());
    if (size && GetOutlineTextMetricsW(dc, size, otm)) {
      family = reinterpret_cast<const wchar_t*>(buf.data() + reinterpret_cast<uintptr_t>(otm->otmpFamilyName));
    }
    WORD glyphs[32] = {};
    int n = static_cast<int>(wcslen(sample));
    int missing = 0;
    if (GetGlyphIndicesW(dc, sample, n, glyphs, GGI_MARK_NONEXISTING_GLYPHS) == GDI_ERROR) missing = n;
    for (int i = 0; i < n; ++i) missing += glyphs[i] == 0xFFFF ? 1 : 0;
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    DeleteObject(font);
    printf("font %s family %s missing %d\n", Utf8(name).c_str(), Utf8(family).c_str(), missing);
  }

  // What Windows sends when the window moves to a monitor of another DPI: the new DPI
  // and a suggested rectangle (here the old centre with the size scaled).
  void ChangeDpi() {
    RECT wr;
    GetWindowRect(m_hWnd, &wr);
    int w = MulDiv(wr.right - wr.left, m_dpiChange, m_pm.GetDPI());
    int h = MulDiv(wr.bottom - wr.top, m_dpiChange, m_pm.GetDPI());
    int cx = (wr.left + wr.right) / 2, cy = (wr.top + wr.bottom) / 2;
    RECT suggested{cx - w / 2, cy - h / 2, cx - w / 2 + w, cy - h / 2 + h};
    SendMessageW(m_hWnd, 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(m_dpiChange, m_dpiChange),
                 reinterpret_cast<LPARAM>(&suggested));
    printf("suggested %ld %ld %ld %ld\n", suggested.left, suggested.top, suggested.right, suggested.bottom);
    Report("after ");
  }

  // Looks for the engine's tooltip window the way another program would: by its class.
  void WatchToolTip() {
    HWND tip = FindWindowW(L"ZpkSkinToolTip", nullptr);
    bool shown = tip && IsWindowVisible(tip);
    if (shown == m_tipShown) return;
    m_tipShown = shown;
    if (!shown) {
      printf("tooltip hidden\n");
    } else {
      wchar_t text[256] = {};
      GetWindowTextW(tip, text, 255);
      RECT r;
      GetWindowRect(tip, &r);
      printf("tooltip shown %s %ld %ld %ld %ld\n", Utf8(text).c_str(), r.left, r.top, r.right, r.bottom);
    }
    fflush(stdout);
  }

  std::wstring m_layout;
  int m_page;
  int m_ms;
  int m_dpiChange;
  bool m_tipShown = false;
};

std::vector<char> ReadFileBytes(const wchar_t* path) {
  std::vector<char> bytes;
  HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return bytes;
  LARGE_INTEGER size;
  if (GetFileSizeEx(f, &size) && size.QuadPart > 0 && size.QuadPart < (256 << 20)) {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!ReadFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) || read != bytes.size()) bytes.clear();
  }
  CloseHandle(f);
  return bytes;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: skinshow SKIN.zip PAGE [--ms=N] [--layout=FILE] [--answer]\n");
    return 2;
  }
  int ms = 4000;
  int dpiChange = 0;
  std::wstring layout = L"Layout/Layout.xml";
  for (int i = 3; i < argc; ++i) {
    std::wstring a = argv[i];
    if (a.rfind(L"--ms=", 0) == 0) ms = _wtoi(a.c_str() + 5);
    else if (a.rfind(L"--layout=", 0) == 0) layout = a.substr(9);
    else if (a == L"--answer") SetMessageBoxHook(PrintBox);
    else if (a.rfind(L"--dpichange=", 0) == 0) dpiChange = _wtoi(a.c_str() + 12);
  }
  std::vector<char> zip = ReadFileBytes(argv[1]);
  if (!CPaintManagerUI::SetResourceZip(zip.data(), zip.size())) {
    fprintf(stderr, "skin archive unreadable\n");
  }
  CShowWindow window(layout, _wtoi(argv[2]), ms, dpiChange);
  if (!window.Create(nullptr, L"RuvanZip \u5B89\u88C5", WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX, 0)) {
    fprintf(stderr, "window not created\n");
    return 3;
  }
  window.ShowWindow(true);
  CPaintManagerUI::MessageLoop();
  return 0;
}
