// One uninstallation, in the temporary copy: the configuration and uninstall chunks
// from the installation directory, the globals the uninstall script expects, and its
// four events in order.
#pragma once
#include <string>

#include "uninstallargs.h"

// The script side of one run. Prepare() first, then the events; the script state is not
// thread-safe, so whoever calls these owns it for the call (the window hands it to its
// worker only while the main thread leaves it alone).
class CUninstallSession {
 public:
  // False when the chunks could not be run.
  bool Prepare(const UninstallArgs& args);
  const std::wstring& Product() const { return product_; }
  // The user's choices as the globals ClearUserData, ReasonID, tbContact, tbSuggest.
  void SetChoices(const UninstallArgs& choices);
  // ZPKSE_BeforeInit, ZPKSE_OnUninstall, ZPKSE_FeedBack: the removal and its reports.
  void Remove();
  // ZPKSE_AfterUnintall: closes the statistics, deletes the original uninstaller.
  void Finish();

 private:
  std::wstring product_;
};

// Exit code (exitcodes.h): 0 when the events ran; 3010 when they ran and the script set
// `restart_needed` (files in use go at the next restart); 1602 when the user declined;
// 1603 when the chunks could not be run or the script kept the installation folder
// (`install_folder_kept`).
int RunUninstall(const UninstallArgs& args);
