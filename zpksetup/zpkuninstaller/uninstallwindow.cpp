#include "uninstallwindow.h"

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <string>

#include "dpi.h"
#include "handles.h"
#include "log/debugoutput.h"
#include "monitordpi.h"
#include "resource/moduleresource.h"
#include "textconv.h"
#include "uicontainer.h"
#include "uicontrols.h"
#include "uiedit.h"
#include "uninstallchoices.h"
#include "windowimplbase.h"
#include "workerthread.h"

using namespace skin;

namespace {

constexpr UINT kRemovalDone = WM_APP + 0x2B1;  // from the worker: the removal's events have run
constexpr UINT_PTR kProgressTimer = 1;
constexpr UINT_PTR kShowDoneTimer = 2;
constexpr int kPageConfirm = 0, kPageReason = 1, kPageProgress = 2, kPageDone = 3;
const wchar_t* const kPageNames[] = {L"confirm", L"reason", L"progress", L"done"};
const wchar_t* const kRequired[] = {L"TabUninst", L"BtnNext", L"BtnUninstall", L"BtnFinish", L"ProgressUninst"};
const wchar_t* const kReasonOptions[] = {L"OptReason1", L"OptReason2", L"OptReason3", L"OptReason4"};

bool LoadSkinArchive() {
  qvbase::ResourceBytes skin;
  if (qvbase::ReadModuleResource(nullptr, MAKEINTRESOURCEW(249), L"ZIP", &skin) != qvbase::ResourceResult::kOk) {
    qd::OutputText(L"uninstall skin: no ZIP/249 resource\r\n");
    return false;
  }
  return CPaintManagerUI::SetResourceZip(skin.data, skin.size);
}

// Test seam: with ZPK_UNINSTALL_PAGELOG naming a file, every page shown is appended to it
// with the window's rectangle ("page NAME left top right bottom"), so that a test driving
// the window through the X server knows where it is and what it shows.
void NotePage(HWND hwnd, const wchar_t* page) {
  qd::Output(L"uninstall page %ls\r\n", page);
  wchar_t path[MAX_PATH];
  const DWORD n = GetEnvironmentVariableW(L"ZPK_UNINSTALL_PAGELOG", path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  RECT r{};
  GetWindowRect(hwnd, &r);
  char line[160];
  const int len = snprintf(line, sizeof line, "page %s %ld %ld %ld %ld\n", Utf16ToUtf8(page).c_str(),
                           static_cast<long>(r.left), static_cast<long>(r.top), static_cast<long>(r.right),
                           static_cast<long>(r.bottom));
  UniqueFileHandle file(CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (file && len > 0) WriteFile(file.get(), line, static_cast<DWORD>(len), &written, nullptr);
}

class CUninstallWnd : public WindowImplBase {
 public:
  CUninstallWnd(CUninstallSession& session, const UninstallArgs& args) : m_session(session), m_args(args) {
    BindNotify(L"click", L"BtnClose", [this](TNotifyUI&) { OnCloseButton(); });
    BindNotify(L"click", L"BtnMin", [this](TNotifyUI&) { SendMessageW(m_hWnd, WM_SYSCOMMAND, SC_MINIMIZE, 0); });
    BindNotify(L"click", L"BtnKeep", [this](TNotifyUI&) { Close(); });
    BindNotify(L"click", L"BtnReasonKeep", [this](TNotifyUI&) { Close(); });
    BindNotify(L"click", L"BtnNext", [this](TNotifyUI&) { ShowPage(kPageReason); });
    BindNotify(L"click", L"BtnUninstall", [this](TNotifyUI&) { StartRemoval(); });
    BindNotify(L"click", L"BtnFinish", [this](TNotifyUI&) { Close(); });
  }

  ~CUninstallWnd() override { m_worker.Wait(); }

  const wchar_t* WindowClassName() const override { return L"ZpkUninstall"; }
  std::wstring SkinFile() override { return L"Layout/Layout.xml"; }

  bool Usable() const { return m_usable; }
  bool Removed() const { return m_removed; }

  // A layout that does not build leaves the window uncreated; the caller falls back to
  // message boxes instead of ending the process.
  void OnLayoutFailure(const std::wstring& file, const std::wstring& reason) override {
    qd::Output(L"uninstall skin %ls unusable: %ls\r\n", file.c_str(), reason.c_str());
    m_usable = false;
  }
  void QuitLoopOnDestroy() { m_quitOnDestroy = true; }

  void SetUpControls() override {
    for (const wchar_t* name : kRequired) {
      if (!m_pm.FindControl(name)) {
        qd::Output(L"uninstall skin: no control %ls\r\n", name);
        m_usable = false;
        return;
      }
    }
    m_tab = ControlCast<CTabLayoutUI>(m_pm.FindControl(L"TabUninst"));
    m_progress = ControlCast<CProgressUI>(m_pm.FindControl(L"ProgressUninst"));
    if (!m_tab || !m_progress) {
      m_usable = false;
      return;
    }
    int dpi = 0;
    if (!GetMonitorDpi(MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTOPRIMARY), &dpi)) dpi = ScreenDpi();
    ApplyDpi(SnapDpi(dpi));
    if (auto* root = ControlCast<CContainerUI>(m_pm.GetRoot())) {
      const std::wstring& product = m_session.Product();
      CContainerUI::CollectAll(root, [&product](CControlUI* c) {
        if (c->GetText().find(L"$product$") != std::wstring::npos) c->SetText(FillProductName(c->GetText(), product));
      });
    }
    if (auto* clear = ControlCast<COptionUI>(m_pm.FindControl(L"ChkClearUserData"))) {
      clear->Selected(m_args.clearUserData, false);
    }
    m_tab->SelectItem(kPageConfirm, false);
    CenterWindow();
  }

  void ShowFirstPage() { NotePage(m_hWnd, kPageNames[kPageConfirm]); }

  LRESULT OnAppMessage(UINT msg, WPARAM wParam, LPARAM, BOOL& handled) override {
    if (msg == WM_CLOSE && m_running) {
      handled = TRUE;  // the removal cannot be interrupted halfway
      return 0;
    }
    if (msg == kRemovalDone) {
      handled = TRUE;
      OnRemovalDone();
      return 0;
    }
    if (msg == WM_TIMER && wParam == kProgressTimer) {
      handled = TRUE;
      SetProgress(NextProgressEstimate(m_progress->GetValue()));
      return 0;
    }
    if (msg == WM_TIMER && wParam == kShowDoneTimer) {
      handled = TRUE;
      ::KillTimer(m_hWnd, kShowDoneTimer);
      ShowPage(kPageDone);
      return 0;
    }
    return 0;
  }

  LRESULT OnWindowDestroyed(UINT, WPARAM, LPARAM, BOOL& handled) override {
    ::KillTimer(m_hWnd, kProgressTimer);
    ::KillTimer(m_hWnd, kShowDoneTimer);
    if (m_quitOnDestroy) PostQuitMessage(0);
    handled = FALSE;
    return 0;
  }

 private:
  void ShowPage(int page) {
    m_tab->SelectItem(page, false);
    if (page == kPageReason) {
      if (auto* first = m_pm.FindControl(L"EditContact")) first->SetFocus();
    }
    NotePage(m_hWnd, kPageNames[page]);
  }

  void OnCloseButton() {
    if (m_running) return;
    Close();
  }

  WindowChoices CollectChoices() {
    WindowChoices choices;
    for (const wchar_t* name : kReasonOptions) {
      auto* option = ControlCast<COptionUI>(m_pm.FindControl(name));
      if (option && option->IsSelected()) choices.reasonIds.push_back(option->GetUserData());
    }
    if (auto* contact = m_pm.FindControl(L"EditContact")) choices.contact = contact->GetText();
    if (auto* suggest = m_pm.FindControl(L"EditSuggest")) choices.suggest = suggest->GetText();
    auto* clear = ControlCast<COptionUI>(m_pm.FindControl(L"ChkClearUserData"));
    choices.clearUserData = clear && clear->IsSelected();
    return choices;
  }

  void StartRemoval() {
    if (m_running || m_removed) return;
    UninstallArgs choices = m_args;
    ApplyWindowChoices(CollectChoices(), choices);
    m_session.SetChoices(choices);  // still this thread's turn on the script state
    m_running = true;
    if (auto* close = m_pm.FindControl(L"BtnClose")) close->SetEnabled(false);
    SetProgress(0);
    ShowPage(kPageProgress);
    // The worker owns the script state until it posts kRemovalDone; this thread does not
    // touch the state in between.
    CUninstallSession* session = &m_session;
    const bool started = m_worker.Start(m_hWnd, kRemovalDone, [session] {
      ComScope com;
      session->Remove();
    });
    if (!started) {
      QD_ERROR_TRACE(L"_beginthreadex failed!");
      m_session.Remove();  // the same work, on this thread
      OnRemovalDone();
      return;
    }
    ::SetTimer(m_hWnd, kProgressTimer, 150, nullptr);
  }

  void OnRemovalDone() {
    m_worker.Wait();
    m_running = false;
    m_removed = true;
    ::KillTimer(m_hWnd, kProgressTimer);
    SetProgress(100);
    if (auto* close = m_pm.FindControl(L"BtnClose")) close->SetEnabled(true);
    ::SetTimer(m_hWnd, kShowDoneTimer, 500, nullptr);  // the full bar stays visible a moment
  }


  void SetProgress(int value) {
    m_progress->SetValue(value);
    if (auto* label = m_pm.FindControl(L"LabelProgressValue")) label->SetText(std::to_wstring(value) + L"\uFF05");
  }

  CUninstallSession& m_session;
  UninstallArgs m_args;
  CTabLayoutUI* m_tab = nullptr;
  CProgressUI* m_progress = nullptr;
  CWorkerThread m_worker;
  bool m_usable = true;
  bool m_running = false;
  bool m_removed = false;
  bool m_quitOnDestroy = false;
};

}  // namespace

WindowOutcome RunUninstallWindow(CUninstallSession& session, const UninstallArgs& args) {
  if (!LoadSkinArchive()) return WindowOutcome::kUnavailable;
  BecomePerMonitorDpiAware();
  WindowOutcome outcome = WindowOutcome::kUnavailable;
  {
    CUninstallWnd window(session, args);
    const std::wstring title = session.Product() + L" \u5378\u8F7D";  // 卸载
    HWND hwnd = window.Create(nullptr, title.c_str(), WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX, 0);
    if (hwnd && window.Usable()) {
      window.QuitLoopOnDestroy();
      window.ShowWindow(true);
      window.ShowFirstPage();
      CPaintManagerUI::MessageLoop();
      outcome = window.Removed() ? WindowOutcome::kDone : WindowOutcome::kCancelled;
    } else if (hwnd) {
      DestroyWindow(hwnd);
    }
  }
  CPaintManagerUI::Archive().Close();
  // The window is gone and the worker has been waited for: the script state is this
  // thread's again.
  if (outcome == WindowOutcome::kDone) session.Finish();
  return outcome;
}
