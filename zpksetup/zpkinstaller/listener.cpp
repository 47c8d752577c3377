#include "listener.h"

#include <atomic>

namespace {
std::atomic<HWND>& Listener() {
  static std::atomic<HWND> window{nullptr};
  return window;
}
}  // namespace

void SetListenerWindow(HWND window) { Listener() = window; }

HWND ListenerWindow() { return Listener(); }

void NotifyListener() {
  HWND window = ListenerWindow();
  if (!window) return;
  SendMessageW(window, kMsgInstallListener, 0, 0);
}
