#include "monitordpi.h"

namespace skin {
namespace {

// Shcore stays loaded once found: the windows ask for monitor DPIs for their whole life.
FARPROC ShcoreFunction(const char* name) {
  static const HMODULE shcore = LoadLibraryW(L"Shcore.dll");
  return shcore ? GetProcAddress(shcore, name) : nullptr;
}

template <typename Fn>
Fn Resolve(const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(ShcoreFunction(name)));
}

}  // namespace

void BecomePerMonitorDpiAware() {
  using Fn = HRESULT(WINAPI*)(int);
  static const Fn fn = Resolve<Fn>("SetProcessDpiAwareness");
  if (fn) fn(2 /* PROCESS_PER_MONITOR_DPI_AWARE */);
}

bool GetMonitorDpi(HMONITOR monitor, int* dpi, bool* callFailed) {
  using Fn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  static const Fn fn = Resolve<Fn>("GetDpiForMonitor");
  if (callFailed) *callFailed = false;
  if (!fn) return false;
  UINT x = 0, y = 0;
  if (FAILED(fn(monitor, 0 /* MDT_EFFECTIVE_DPI */, &x, &y)) || x == 0) {
    if (callFailed) *callFailed = true;
    return false;
  }
  *dpi = static_cast<int>(x);
  return true;
}

int ScreenDpi() {
  HDC dc = GetDC(nullptr);
  int dpi = GetDeviceCaps(dc, LOGPIXELSX);
  ReleaseDC(nullptr, dc);
  return dpi > 0 ? dpi : 96;
}

}  // namespace skin
