#include "monitordpi.h"

namespace skin {

bool GetMonitorDpi(HMONITOR monitor, int* dpi) {
  using Fn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  HMODULE shcore = LoadLibraryW(L"Shcore.dll");
  if (!shcore) return false;
  auto fn = reinterpret_cast<Fn>(GetProcAddress(shcore, "GetDpiForMonitor"));
  UINT x = 0, y = 0;
  bool ok = fn && SUCCEEDED(fn(monitor, 0 /* MDT_EFFECTIVE_DPI */, &x, &y)) && x > 0;
  FreeLibrary(shcore);
  if (ok) *dpi = static_cast<int>(x);
  return ok;
}

int ScreenDpi() {
  HDC dc = GetDC(nullptr);
  int dpi = GetDeviceCaps(dc, LOGPIXELSX);
  ReleaseDC(nullptr, dc);
  return dpi > 0 ? dpi : 96;
}

}  // namespace skin
