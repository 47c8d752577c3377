// The process's DPI awareness and the DPI of a window's monitor: Shcore's functions,
// looked up once at run time (older Windows lacks them), or the screen's LOGPIXELSX.
#pragma once
#include <windows.h>

namespace skin {

// Makes the process per-monitor DPI aware where Shcore offers it; nothing otherwise.
void BecomePerMonitorDpiAware();

// The effective DPI of a monitor. False when Shcore or the function is missing, or the call
// fails; callFailed (when given) tells the last case apart.
bool GetMonitorDpi(HMONITOR monitor, int* dpi, bool* callFailed = nullptr);
int ScreenDpi();

}  // namespace skin
