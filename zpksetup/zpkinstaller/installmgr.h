// Runs the install script's five events, one at a time, with the native clean-up that
// must come before the script's own installation work.
#pragma once
#include <windows.h>

#include <mutex>
#include <string>

class CInstallMgr {
 public:
  static CInstallMgr* Instance();
  virtual ~CInstallMgr();

  void BeforeInit();
  void BeforeInstall();
  void OnInstall();
  void BeforeComplete();
  void AfterComplete();

  // Ends programs an earlier installation keeps one level below <install path>\Tools.
  void KillAllToolProcess();
  // Hides the system's zip-folder Send To entry and blocks its context-menu handler.
  void HideSystemZipFolder();

  // Runs fn while no event runs: for the window's own access to script globals while
  // the install worker may be inside an event. Returns false when an event is running.
  template <typename Fn>
  bool TryWithScriptState(Fn&& fn) {
    std::unique_lock<std::mutex> guard(lock_, std::try_to_lock);
    if (!guard.owns_lock()) return false;
    fn();
    return true;
  }

 private:
  CInstallMgr() = default;
  void RunEvent(const char* name);

  std::mutex lock_;
};

// The install worker's work in the windowed run: OnInstall, then BeforeComplete. The
// window learns that it has returned from message 11032.
void RunInstallEvents();

constexpr UINT kMsgInstallFinished = 11032;  // WM_USER + 10008
constexpr UINT kMsgPayloadChecked = 11033;   // the windowed run's payload check has ended
