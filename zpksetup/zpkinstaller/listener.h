// The caller's window named by "InstallListenWnd": told with message 3014 when the
// installation is finished (by the silent run, and by the installer window on completion).
#pragma once
#include <windows.h>

constexpr UINT kMsgInstallListener = 3014;  // WM_USER + 1990

void SetListenerWindow(HWND window);
HWND ListenerWindow();

// Sends 3014 (wParam 0, lParam 0) and waits until the listener has handled it; does
// nothing when there is no listener.
void NotifyListener();
