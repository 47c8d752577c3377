#include "dlginstall.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include "dlginstallrules.h"
#include "dpi.h"
#include "folderrules.h"
#include "handles.h"
#include "installmgr.h"
#include "latebound.h"
#include "listener.h"
#include "log/debugoutput.h"
#include "monitordpi.h"
#include "msgbox.h"
#include "payloadverify.h"
#include "primitives/shell.h"
#include "protectedfolders.h"
#include "resource/moduleresource.h"
#include "scriptengine.h"
#include "setuprun.h"
#include "stat/qvstatmodule.h"
#include "textconv.h"
#include "uicontainer.h"
#include "uicontrols.h"
#include "uiedit.h"

using namespace skin;

namespace {

const wchar_t kSeparator[] = L"-----------------------------";
const wchar_t kInvalidPath[] = L"\u5B89\u88C5\u8DEF\u5F84\u975E\u6CD5\uFF0C\u8BF7\u91CD\u65B0\u4FEE\u6539\uFF01";  // 安装路径非法，请重新修改！
const wchar_t kInvalidBackupPath[] = L"\u5907\u4EFD\u8DEF\u5F84\u975E\u6CD5\uFF0C\u8BF7\u91CD\u65B0\u4FEE\u6539\uFF01";  // 备份路径非法，请重新修改！
const wchar_t kErrorCaption[] = L"\u9519\u8BEF";                  // 错误
const wchar_t kHintCaption[] = L"\u63D0\u793A";                   // 提示
const wchar_t kRemindCaption[] = L"\u63D0\u9192";                 // 提醒
const wchar_t kConfirmExit[] = L"\u60A8\u786E\u5B9A\u8981\u9000\u51FA\u5B89\u88C5\u7A0B\u5E8F\uFF1F";  // 您确定要退出安装程序？
const wchar_t kCaptionSuffix[] = L"\u5B89\u88C5";                 // 安装
const int kIconResource = 128;
const int kSearchServerEdition = 161;

// The system's file-open dialog and the shell item interface, by their identifiers.
const CLSID kFileOpenDialog = {0xDC1C5A9C, 0xE88A, 0x4DDE, {0xA5, 0xA1, 0x60, 0xF8, 0x2A, 0x20, 0xAE, 0xF7}};
const IID kIFileOpenDialog = {0x42F85136, 0xDB7E, 0x439C, {0x85, 0xF1, 0xE4, 0x07, 0x5D, 0x13, 0x5F, 0xC8}};
const IID kIShellItem = {0x43826D1E, 0xE718, 0x42EE, {0xBC, 0x55, 0xA1, 0xE2, 0x61, 0xC3, 0x7B, 0xFE}};

ZPKScriptEngine* Engine() { return ZPKScriptEngine::Instance(); }

// The path has a drive letter and exists as a folder afterwards (shell32's directory
// creation, ordinal 165, makes every missing parent).
bool CheckAndCreatePath(const std::wstring& path) {
  if (PathGetDriveNumberW(path.c_str()) < 0) return false;
  const int result = latebound::ShellCreateDirectory(path);
  return result == ERROR_SUCCESS || result == ERROR_FILE_EXISTS || result == ERROR_ALREADY_EXISTS;
}

// A drive root or a system or user folder is never an installation folder: the product
// would be spread among the user's files, and its uninstaller would take them with it.
bool AcceptablePath(const std::wstring& path) { return !RefuseProtectedFolder(path, L"install path", L"refused"); }

uint64_t FreeBytesOn(const std::wstring& path) {
  const std::wstring volume = path.substr(0, 2);
  ULARGE_INTEGER available, total, free;
  if (!GetDiskFreeSpaceExW(volume.c_str(), &available, &total, &free)) return 0;
  return free.QuadPart;
}

uint64_t PayloadBytes() {
  qvbase::ResourceBytes payload;
  qvbase::ReadModuleResource(nullptr, L"APP.7Z", L"_7Z", &payload);
  return payload.size;
}

bool PathExists(const std::wstring& path) {
  return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Where the folder dialog opens: the path box's folder, its parent, or Program Files.
std::wstring StartFolder(const std::wstring& text) {
  if (PathExists(text)) return text;
  const std::wstring parent = folderrules::ParentFolder(text);
  if (PathExists(parent)) return parent;
  wchar_t programFiles[MAX_PATH] = {};
  SHGetSpecialFolderPathW(nullptr, programFiles, CSIDL_PROGRAM_FILES, FALSE);
  return programFiles;
}

// The folder the user picks in the system dialog; empty when cancelled or unavailable.
std::wstring PickFolder(HWND owner, const std::wstring& start) {
  ComPtr<IFileOpenDialog> dialog;
  if (FAILED(CoCreateInstance(kFileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, kIFileOpenDialog, dialog.out()))) {
    return std::wstring();
  }
  PIDLIST_ABSOLUTE pidl = nullptr;
  if (SUCCEEDED(SHParseDisplayName(start.c_str(), nullptr, &pidl, 0, nullptr))) {
    ComPtr<IShellItem> folder;
    if (SUCCEEDED(SHCreateItemFromIDList(pidl, kIShellItem, folder.out()))) {
      dialog->SetDefaultFolder(folder.get());
      dialog->SetFolder(folder.get());
    }
    CoTaskMemFree(pidl);
  }
  dialog->SetOptions(FOS_PICKFOLDERS);
  if (FAILED(dialog->Show(owner))) return std::wstring();
  ComPtr<IShellItem> result;
  if (FAILED(dialog->GetResult(result.put())) || !result) return std::wstring();
  PWSTR path = nullptr;
  if (FAILED(result->GetDisplayName(SIGDN_FILESYSPATH, &path)) || !path) return std::wstring();
  std::wstring chosen = path;
  CoTaskMemFree(path);
  return chosen;
}

}  // namespace

CDlgInstall::CDlgInstall() {
  BindNotify(L"click", L"BtnClose", [this](TNotifyUI&) { OnCloseClick(); });
  BindNotify(L"click", L"BtnLicenceLink", [this](TNotifyUI&) { OnLicenceLink(); });
  BindNotify(L"click", L"BtnInstall", [this](TNotifyUI&) { OnInstallClick(); });
  BindNotify(L"click", L"BtnSelectPath", [this](TNotifyUI&) { OnSelectPath(); });
  BindNotify(L"click", L"BtnStart", [this](TNotifyUI&) { OnStartClick(); });
  BindNotify(L"click", L"BtnMin", [this](TNotifyUI&) { SendMessageW(m_hWnd, WM_SYSCOMMAND, SC_MINIMIZE, 0); });
  BindNotify(L"selectchanged", L"CheckLicence", [this](TNotifyUI&) { OnLicenceChanged(); });
  BindNotify(L"timer", L"", [this](TNotifyUI& msg) { OnTimerNotify(msg); });
}

CDlgInstall::~CDlgInstall() = default;

// ---- creation ----

void CDlgInstall::SetUpControls() {
  // Beside the window, so that the hash is not on the path to the first paint.
  if (!payloadCheck_.Start(m_hWnd, kMsgPayloadChecked, [this] { payloadState_ = CheckEmbeddedPayload(nullptr); })) {
    payloadState_ = CheckEmbeddedPayload(nullptr);
    PostMessageW(m_hWnd, kMsgPayloadChecked, 0, 0);
  }
  SetIcon(kIconResource);
  const std::wstring caption = Engine()->GetGlobalString("global_product_name") + kCaptionSuffix;
  SetWindowTextW(m_hWnd, caption.c_str());
  LookUpControls();
  ExpandSkinTexts();
  if (Engine()->GetGlobalInteger("global_app_id") != kSearchServerEdition && optionsPage_) {
    if (auto* search = ControlCast<COptionUI>(m_pm.FindSubControlByName(optionsPage_, L"InstallSearchServer"))) {
      search->SetVisible(false);
    }
  }
  ApplyMonitorDpi();
  FillOptionsPage();
  CenterWindow();
}

void CDlgInstall::LookUpControls() {
  tab_ = ControlCast<CTabLayoutUI>(m_pm.FindControl(L"TabMain"));
  optionsPage_ = ControlCast<CVerticalLayoutUI>(m_pm.FindControl(L"VertInitView"));
  progressPage_ = ControlCast<CVerticalLayoutUI>(m_pm.FindControl(L"VertInstallView"));
  completionPage_ = ControlCast<CVerticalLayoutUI>(m_pm.FindControl(L"VertCompleteView"));
  captionButtons_ = ControlCast<CHorizontalLayoutUI>(m_pm.FindControl(L"HorizCaptionBtn"));
  if (optionsPage_) {
    installButton_ = ControlCast<CButtonUI>(m_pm.FindSubControlByName(optionsPage_, L"BtnInstall"));
    pathBox_ = ControlCast<CRichEditUI>(m_pm.FindSubControlByName(optionsPage_, L"EditInstallPath"));
    desktopLaunch_ = ControlCast<COptionUI>(m_pm.FindSubControlByName(optionsPage_, L"CheckDesktopLaunch"));
    autoStart_ = ControlCast<COptionUI>(m_pm.FindSubControlByName(optionsPage_, L"CheckAutoStartup"));
    licence_ = ControlCast<COptionUI>(m_pm.FindSubControlByName(optionsPage_, L"CheckLicence"));
  }
  if (progressPage_) {
    progressBar_ = ControlCast<CProgressUI>(m_pm.FindSubControlByName(progressPage_, L"ProgressInstall"));
    progressLabel_ = ControlCast<CLabelUI>(m_pm.FindSubControlByName(progressPage_, L"LabelInstallValue"));
  }
  if (completionPage_) {
    startButton_ = ControlCast<CButtonUI>(m_pm.FindSubControlByName(completionPage_, L"BtnStart"));
  }
}

// Texts such as "$global_product_name$ 安装向导" show the configured values, so one skin
// serves any product. The path box keeps its own rule (FillOptionsPage).
void CDlgInstall::ExpandSkinTexts() {
  auto* root = ControlCast<CContainerUI>(m_pm.GetRoot());
  if (!root) return;
  ZPKScriptEngine* engine = Engine();
  auto lookup = [engine](const std::wstring& name) { return engine->GetGlobalString(Utf16ToAnsi(name.c_str()).c_str()); };
  for (CControlUI* control : root->FindAll<CControlUI>()) {
    if (control == pathBox_ || control->GetText().find(L'$') == std::wstring::npos) continue;
    control->SetText(dlginstall::ExpandPlaceholders(control->GetText(), lookup));
  }
}

void CDlgInstall::ApplyMonitorDpi() {
  int dpi = 0;
  bool callFailed = false;
  if (!GetMonitorDpi(MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTOPRIMARY), &dpi, &callFailed)) {
    if (callFailed) ZpkMessageBox(m_hWnd, L"GetDpiForMonitor failed", L"Notification", MB_OK);
    dpi = ScreenDpi();
  }
  ApplyDpi(SnapDpi(dpi));
}

void CDlgInstall::FillOptionsPage() {
  if (!optionsPage_) return;
  ZPKScriptEngine* engine = Engine();
  if (autoStart_) {
    autoStart_->SetVisible(engine->GetGlobalBoolean("global_startup_check_visable"));
    autoStart_->Selected(engine->GetGlobalBoolean("global_startup_check"), true);
  }
  if (!pathBox_) return;
  const std::wstring text = pathBox_->GetText();
  qd::OutputText(text.c_str());
  std::wstring placeholder, name;
  if (!dlginstall::FindPlaceholder(text, &placeholder, &name)) return;
  qd::OutputText(name.c_str());
  const std::wstring value = engine->GetGlobalString(Utf16ToAnsi(name.c_str()).c_str());
  if (value.empty()) return;
  const std::wstring replaced = dlginstall::ReplaceAll(text, placeholder, value);
  pathBox_->SetText(replaced);
  qd::OutputText(kSeparator);
  qd::OutputText(replaced.c_str());
  qd::OutputText(kSeparator);
}

// ---- options page ----

void CDlgInstall::OnLicenceChanged() {
  if (licence_ && installButton_) installButton_->SetEnabled(licence_->IsSelected());
}

void CDlgInstall::OnLicenceLink() {
  const std::wstring url = Engine()->GetGlobalString("global_licence_url");
  ShellExecuteW(nullptr, nullptr, url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void CDlgInstall::OnSelectPath() {
  if (!pathBox_) return;
  const std::wstring start = StartFolder(pathBox_->GetText());
  qd::OutputText(start.c_str());
  const std::wstring chosen = PickFolder(m_hWnd, start);
  if (chosen.empty()) return;
  const std::wstring baseName = Engine()->GetGlobalString("global_install_basepath");
  qd::Output(L"CheckDir %ls, %ls", chosen.c_str(), baseName.c_str());
  pathBox_->SetText(dlginstall::FolderWithBaseName(chosen, baseName));
}

// ---- payload check ----

// Whether the payload passed its check, waiting for it if need be; a damaged one is
// reported and the window closes. Called before anything that changes the machine.
bool CDlgInstall::PayloadUsableNow() {
  if (payloadDamaged_) return false;
  payloadCheck_.Wait();
  if (PayloadUsable(payloadState_)) return true;
  payloadDamaged_ = true;
  ReportDamagedPayload(payloadState_, false, PayloadCaption(), m_hWnd);
  PostMessageW(m_hWnd, WM_CLOSE, 3, 0);
  return false;
}

void CDlgInstall::OnPayloadChecked() {
  if (!installing_) PayloadUsableNow();
}

void CDlgInstall::OnInstallClick() {
  if (!pathBox_ || installing_ || !PayloadUsableNow()) return;
  const std::wstring path = pathBox_->GetText();
  if (!AcceptablePath(path) || !CheckAndCreatePath(path)) {
    ZpkMessageBox(m_hWnd, kInvalidPath, kErrorCaption, MB_ICONWARNING);
    return;
  }
  if (!StoreChoices(path)) return;
  if (!HasSpaceFor(path)) return;
  installing_ = true;
  if (installButton_) installButton_->SetEnabled(false);
  CInstallMgr::Instance()->BeforeInstall();
  StartInstall();
  const bool desktopLaunch = desktopLaunch_ && desktopLaunch_->IsSelected();
  const bool autoStart = autoStart_ && autoStart_->IsSelected();
  std::shared_ptr<QVStatModule> stat = QVStatModule::Instance();
  stat->Action(desktopLaunch ? dlginstall::kActionDesktopLaunchOn : dlginstall::kActionDesktopLaunchOff);
  stat->Action(autoStart ? dlginstall::kActionAutoStartOn : dlginstall::kActionAutoStartOff);
}

// The path and every option of the options page become script globals named by their
// user data; then the backup path, when the scripts name one, is checked like the path.
bool CDlgInstall::StoreChoices(const std::wstring& path) {
  ZPKScriptEngine* engine = Engine();
  const std::string pathName = Utf16ToAnsi(pathBox_->GetUserData().c_str());
  engine->SetGlobalString(pathName.c_str(), dlginstall::WithoutTrailingBackslash(path));
  for (COptionUI* option : optionsPage_->FindAll<COptionUI>()) {
    const std::string name = Utf16ToAnsi(option->GetUserData().c_str());
    if (name.empty()) continue;  // an option without user data names no global
    engine->SetGlobalBoolean(name.c_str(), option->IsSelected());
  }
  const std::wstring backup = engine->GetGlobalString("BackUpPath");
  if (backup.empty()) return true;
  qd::OutputText(backup.c_str());
  if (CheckAndCreatePath(backup)) return true;
  ZpkMessageBox(m_hWnd, kInvalidBackupPath, kErrorCaption, MB_ICONWARNING);
  return false;
}

bool CDlgInstall::HasSpaceFor(const std::wstring& path) {
  const uint64_t need = dlginstall::ParseNeededBytes(Engine()->GetGlobalString("global_need_disk_space"));
  if (FreeBytesOn(path) >= need) return true;
  const std::wstring text = dlginstall::DiskSpaceMessage(need);
  ZpkMessageBox(m_hWnd, text.c_str(), kHintCaption, MB_ICONINFORMATION);
  return false;
}

// ---- installing ----

void CDlgInstall::StartInstall() {
  if (!tab_ || !progressPage_ || !progressBar_ || !captionButtons_) return;
  tab_->SelectItem(progressPage_, true);
  captionButtons_->SetVisible(false);

  ZPKScriptEngine* engine = Engine();
  if (engine->State()) {
    engine->SetGlobalNumber("global_install_progress_elapse", dlginstall::ProgressElapse(PayloadBytes()));
  }
  // Read before the worker starts: from then on the script state belongs to the worker
  // until its signal, apart from the progress global the timer tries to publish.
  const bool carousel = engine->GetGlobalInteger("global_app_id") == kSearchServerEdition;

  workerRunning_ = true;
  if (!worker_.Start(m_hWnd, kMsgInstallFinished, RunInstallEvents)) {
    // No worker: there is no signal to wait for, and the window may close again.
    QD_ERROR_TRACE(L"_beginthreadex failed!");
    workerRunning_ = false;
  }

  progressBar_->SetValue(0);
  progressBar_->SetTimer(kProgressTimer, kProgressPeriodMs);
  if (carousel) progressPage_->SetTimer(kCarouselTimer, static_cast<unsigned>(progressPage_->GetTag()));
  progressPage_->SetTag(0);
}

void CDlgInstall::OnTimerNotify(TNotifyUI& msg) {
  if (progressPage_ && msg.pSender == progressPage_ && msg.wParam == kCarouselTimer) {
    OnCarouselTick();
  } else if (progressBar_ && msg.pSender == progressBar_ && msg.wParam == kProgressTimer) {
    OnProgressTick();
  }
}

void CDlgInstall::OnCarouselTick() {
  const int index = dlginstall::NextCarouselIndex(progressPage_->GetTag());
  progressPage_->SetTag(index);
  progressPage_->SetBkImage(dlginstall::CarouselImage(index));
}

void CDlgInstall::OnProgressTick() {
  const int maxValue = progressBar_->GetMaxValue();
  const int value = dlginstall::NextProgressValue(progressBar_->GetValue(), maxValue);
  progressBar_->SetValue(value);
  if (progressLabel_) progressLabel_->SetText(dlginstall::ProgressLabel(value));
  PublishProgress(value);
  if (value >= maxValue) Complete();
}

// The worker may be inside an event: the global is written only when no event runs, and
// a tick that finds one running leaves it to the next tick, so the window never waits.
void CDlgInstall::PublishProgress(int value) {
  ZPKScriptEngine* engine = Engine();
  if (!engine->State()) return;
  CInstallMgr::Instance()->TryWithScriptState(
      [engine, value] { engine->SetGlobalNumber("global_install_progress_pos", value); });
}

void CDlgInstall::Complete() {
  if (!tab_ || !startButton_ || !captionButtons_ || !progressPage_ || !progressBar_) return;
  progressPage_->KillTimer(kCarouselTimer);
  progressBar_->KillTimer(kProgressTimer);
  progressBar_->SetValue(progressBar_->GetMaxValue());
  if (progressLabel_) progressLabel_->SetText(dlginstall::ProgressLabel(progressBar_->GetValue()));
  UpdateWindow(m_hWnd);
  captionButtons_->SetVisible(true);
  NotifyListener();
  BringToFront();
  if (Engine()->GetGlobalBoolean("global_show_completewindow")) {
    tab_->SelectItem(completionPage_, false);
    startButton_->SetFocus();
  } else {
    OnStartClick();
  }
}

void CDlgInstall::BringToFront() {
  const DWORD self = GetCurrentThreadId();
  const DWORD foreground = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
  const bool attached = foreground && foreground != self && AttachThreadInput(self, foreground, TRUE);
  ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
  SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetWindowPos(m_hWnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetForegroundWindow(m_hWnd);
  if (attached) AttachThreadInput(self, foreground, FALSE);
}

// ---- completion page ----

void CDlgInstall::OnStartClick() {
  ZPKScriptEngine* engine = Engine();
  const std::wstring installPath = engine->GetGlobalString("global_install_path");
  wchar_t expanded[MAX_PATH] = {};
  const DWORD units = ExpandEnvironmentStringsW(installPath.c_str(), expanded, MAX_PATH);
  std::wstring program = units > 0 && units <= MAX_PATH ? expanded : installPath;
  program += L"\\" + engine->GetGlobalString("global_main_app_name");
  const std::wstring parameters = engine->GetGlobalString("global_start_parameter");
  if (engine->GetGlobalBoolean("global_startuseexplorer_level")) {
    qd::OutputText(L"ProcessLauncherExplorerLevel~!\r\n");
    DesktopShellLaunch(program, parameters);
  } else {
    ShellExecuteW(nullptr, nullptr, program.c_str(), parameters.c_str(), nullptr, SW_SHOWNORMAL);
  }
  CInstallMgr::Instance()->AfterComplete();
  PostMessageW(m_hWnd, WM_CLOSE, 1, 0);
}

void CDlgInstall::OnCloseClick() {
  if (completionPage_ && completionPage_->IsVisible()) {
    PostMessageW(m_hWnd, WM_CLOSE, 1, 0);
    return;
  }
  if (ZpkMessageBox(m_hWnd, kConfirmExit, kRemindCaption, MB_OKCANCEL | MB_ICONQUESTION) == IDOK) {
    PostMessageW(m_hWnd, WM_CLOSE, 2, 0);
  }
}

// ---- window messages ----

LRESULT CDlgInstall::OnWindowDestroyed(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
  PostQuitMessage(0);
  return WindowImplBase::OnWindowDestroyed(msg, wParam, lParam, handled);
}

LRESULT CDlgInstall::OnAppMessage(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
  switch (msg) {
    case kMsgPayloadChecked:
      OnPayloadChecked();
      break;
    case kMsgInstallFinished:
      worker_.Wait();  // it has posted its last act
      workerRunning_ = false;
      installed_ = true;
      if (progressBar_) progressBar_->SetValue(progressBar_->GetMaxValue());
      break;
    case WM_CLOSE:
      // Closing would end the process with the worker stopped wherever it is: refused
      // until the installation is finished (the caption buttons are hidden meanwhile).
      if (workerRunning_) {
        qd::OutputText(L"close refused: the installation is still running");
        handled = TRUE;
        return 0;
      }
      break;
    case WM_QUERYENDSESSION:
      if (workerRunning_) {
        handled = TRUE;
        return FALSE;
      }
      break;
    default:
      break;
  }
  return WindowImplBase::OnAppMessage(msg, wParam, lParam, handled);
}
