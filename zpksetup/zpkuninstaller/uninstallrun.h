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
  const std::wstring& Product() const { return m_product; }
  // The user's choices as the globals ClearUserData, ReasonID, tbContact, tbSuggest.
  void SetChoices(const UninstallArgs& choices);
  // ZPKSE_BeforeInit, ZPKSE_OnUninstall, ZPKSE_FeedBack: the removal and its reports.
  void Remove();
  // ZPKSE_AfterUnintall: closes the statistics, deletes the original uninstaller.
  void Finish();

 private:
  std::wstring m_product;
};

// Exit code: 0 when the events ran, 1 when the chunks could not be run, 2 when the user
// declined.
int RunUninstall(const UninstallArgs& args);
