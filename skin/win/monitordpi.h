// The DPI of a window's monitor: the effective DPI from Shcore's GetDpiForMonitor
// (looked up at run time), or the screen's LOGPIXELSX.
#pragma once
#include <windows.h>

namespace skin {

// False when Shcore or the function is missing or the call fails.
bool GetMonitorDpi(HMONITOR monitor, int* dpi);
int ScreenDpi();

}  // namespace skin
