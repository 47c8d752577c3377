// The installer window of the windowed run: three pages of the skin (options, progress,
// completion) in one tab layout. It fills the options from script globals, checks the
// user's choices and hands them to the install script, starts the install worker,
// animates the progress page until the worker's signal, tells the caller's listener,
// and finally starts the installed program.
#pragma once
#include <windows.h>

#include <string>

#include "payloadcheck.h"
#include "windowimplbase.h"
#include "workerthread.h"

namespace skin {
class CButtonUI;
class CHorizontalLayoutUI;
class CLabelUI;
class COptionUI;
class CProgressUI;
class CRichEditUI;
class CTabLayoutUI;
class CVerticalLayoutUI;
}  // namespace skin

class CDlgInstall : public skin::WindowImplBase {
 public:
  CDlgInstall();
  ~CDlgInstall() override;

  const wchar_t* WindowClassName() const override { return L"CDlgInstall"; }
  void SetUpControls() override;
  void OnTimerNotify(skin::TNotifyUI& msg) override;
  std::wstring SkinFile() override { return L"Layout/Layout.xml"; }
  LRESULT OnWindowDestroyed(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnAppMessage(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;

  // Whether the install worker finished (its signal arrived): a window closed before
  // that was cancelled.
  bool Installed() const { return installed_; }
  // Whether the payload check beside the window found the payload damaged (reported in a
  // box, and the window closed without changing anything).
  bool PayloadDamaged() const { return payloadDamaged_; }

  static constexpr unsigned kCarouselTimer = 1989;
  static constexpr unsigned kProgressTimer = 1990;
  static constexpr unsigned kProgressPeriodMs = 300;

 private:
  void LookUpControls();
  void ExpandSkinTexts();
  void ApplyMonitorDpi();
  void FillOptionsPage();

  bool PayloadUsableNow();
  void OnPayloadChecked();
  void OnCloseClick();
  void OnLicenceLink();
  void OnInstallClick();
  void OnSelectPath();
  void OnStartClick();
  void OnLicenceChanged();

  bool StoreChoices(const std::wstring& path);
  bool HasSpaceFor(const std::wstring& path);
  void StartInstall();
  void OnCarouselTick();
  void OnProgressTick();
  void PublishProgress(int value);
  void Complete();
  void BringToFront();

  skin::CTabLayoutUI* tab_ = nullptr;
  skin::CVerticalLayoutUI* optionsPage_ = nullptr;
  skin::CVerticalLayoutUI* progressPage_ = nullptr;
  skin::CVerticalLayoutUI* completionPage_ = nullptr;
  skin::CHorizontalLayoutUI* captionButtons_ = nullptr;
  skin::CRichEditUI* pathBox_ = nullptr;
  skin::COptionUI* desktopLaunch_ = nullptr;
  skin::COptionUI* autoStart_ = nullptr;
  skin::COptionUI* licence_ = nullptr;
  skin::CButtonUI* installButton_ = nullptr;
  skin::CButtonUI* startButton_ = nullptr;
  skin::CProgressUI* progressBar_ = nullptr;
  skin::CLabelUI* progressLabel_ = nullptr;

  // Checks the payload from the window's creation on; its signal is kMsgPayloadChecked.
  // Written by that thread, read after waiting for it.
  skin::CWorkerThread payloadCheck_;
  PayloadState payloadState_ = PayloadState::kAbsent;
  bool payloadDamaged_ = false;
  // Runs the install events; its signal is kMsgInstallFinished.
  skin::CWorkerThread worker_;
  // True from the worker's start until its signal: the script state may be in use on
  // the worker, and the window must not go away under a half-done installation.
  bool workerRunning_ = false;
  bool installed_ = false;
  // Set while the install button's work runs: a box the script shows without an owner
  // (a running program) leaves the window clickable, and a second click must not run
  // ZPKSE_BeforeInstall again inside the first.
  bool installing_ = false;
};
