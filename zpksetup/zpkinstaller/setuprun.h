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
// the windowed run. Returns the exit code (exitcodes.h): kExitDamagedPayload when the
// embedded payload failed its check and nothing was done.
int RunSetup(HINSTANCE instance);

// The two run modes; both leave COM uninitialised and the log scheduled for deletion.
// The silent run answers its exit code: kExitFatal when no acceptable installation
// folder was found (nothing installed).
int RunSilent(const SetupRun& run);
void RunWindowed(const SetupRun& run);

// Schedules the log file name for deletion at the next restart.
void ScheduleLogDeletion(const SetupRun& run);
