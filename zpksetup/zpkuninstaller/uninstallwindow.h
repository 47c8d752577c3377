// The uninstaller's skinned window: confirm, reasons with contact and suggestion,
// progress while the removal runs on a worker thread, done. Built from the skin archive
// "ZIP"/249 in the uninstaller's own resources.
#pragma once
#include "uninstallargs.h"
#include "uninstallrun.h"

enum class WindowOutcome {
  kUnavailable,  // no skin or a broken one: nothing was shown, nothing was run
  kCancelled,    // the user closed the window before the removal started
  kDone,         // the removal ran and ZPKSE_AfterUnintall has been called
};

// args: the command line's choices, shown as the window's initial state.
WindowOutcome RunUninstallWindow(CUninstallSession& session, const UninstallArgs& args);
