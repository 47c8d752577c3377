// What the start-up hands over to the run mode it chose.
#pragma once
#include <windows.h>

#include <string>

struct SetupRun {
  HINSTANCE instance = nullptr;
  std::wstring logPath;  // %TEMP%\Install.log: scheduled for deletion at restart at the end
  int appId = 0;         // 0 when the configuration names the mutex
};

// Runs the installer: start-up, run-mode decision, then the silent or the windowed run.
// Always returns 0.
int RunSetup(HINSTANCE instance);

// The two run modes; both leave COM uninitialised and the log scheduled for deletion.
void RunSilent(const SetupRun& run);
void RunWindowed(const SetupRun& run);

// Schedules the log file name for deletion at the next restart.
void ScheduleLogDeletion(const SetupRun& run);
