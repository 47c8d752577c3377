// What the start-up hands over to the run mode it chose.
#pragma once
#include <windows.h>

#include <string>

struct SetupRun {
  HINSTANCE instance = nullptr;
  std::wstring logPath;  // %TEMP%\Install.log (empty: no log): scheduled for deletion at restart at the end
  int appId = 0;         // 0 when the configuration names the mutex
};

// Runs the installer: start-up, run-mode decision, the payload check, then the silent or
// the windowed run. Returns the exit code (exitcodes.h): kExitFatal when its
// configuration or install chunk is missing or does not run (nothing was done);
// kExitDamagedPayload when the
// embedded payload failed its check and nothing was done; kExitAnotherInstall when
// another installation of the product holds the instance mutex and this start asked for
// a silent run (the install script's `silent_requested`); otherwise the run mode's.
int RunSetup(HINSTANCE instance);

// The two run modes; both leave COM uninitialised and the log scheduled for deletion,
// and answer their exit code: kExitRestartNeeded when the install script set
// `restart_needed` (files wait for the next restart), else kExitSuccess; the silent run
// kExitFatal when no acceptable installation folder was found (nothing installed); the
// windowed run kExitCancelled when its window was closed before the installation had
// finished, kExitFatal when it had no window, kExitDamagedPayload when the payload check
// it runs beside its window failed (reported in a box; nothing was changed).
int RunSilent(const SetupRun& run);
int RunWindowed(const SetupRun& run);

// The title of the damaged-payload box: the product's name.
std::wstring PayloadCaption();

// Schedules the log file name for deletion at the next restart.
void ScheduleLogDeletion(const SetupRun& run);
