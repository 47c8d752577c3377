// The windowed run: the skin archive from the resources, per-monitor DPI awareness,
// libcurl's global state, the union id, the statistics module, then the installer window
// and its message loop; afterwards everything is taken down in reverse order.
#include <objbase.h>

#include <curl/curl.h>

#include "dlginstall.h"
#include "exitcodes.h"
#include "handles.h"
#include "log/debugoutput.h"
#include "paintmanager.h"
#include "scriptengine.h"
#include "setuprun.h"
#include "stat/qvstatmodule.h"
#include "unionid.h"

namespace {

const DWORD kWindowStyle = 0x96C80000;  // popup, visible, clipping, caption, system menu
const DWORD kWindowExStyle = WS_EX_WINDOWEDGE;

// Hands the skin archive "ZIP"/249 to the skin engine; false when it is missing or empty.
bool LoadSkinArchive(HINSTANCE instance) {
  HRSRC info = FindResourceW(instance, MAKEINTRESOURCEW(249), L"ZIP");
  HGLOBAL data = info ? LoadResource(instance, info) : nullptr;
  if (!data) {
    QD_ERROR_TRACE(L"LoadResource failed. type : XML, id : LAYOUT.XML");
    return false;
  }
  const void* bytes = LockResource(data);
  if (!bytes) {
    QD_ERROR_TRACE(L"LockResource failed.");
    FreeResource(data);
    return false;
  }
  const DWORD size = SizeofResource(instance, info);
  if (size == 0) {
    qd::OutputText(L"ResSize == 0\r\n");
    FreeResource(data);
    return false;
  }
  skin::CPaintManagerUI::SetResourceZip(bytes, size);
  FreeResource(data);
  return true;
}

void BecomePerMonitorDpiAware() {
  using Fn = HRESULT(WINAPI*)(int);
  HMODULE shcore = LoadLibraryW(L"Shcore.dll");
  if (!shcore) return;
  if (auto fn = reinterpret_cast<Fn>(GetProcAddress(shcore, "SetProcessDpiAwareness"))) fn(2);
  FreeLibrary(shcore);
}

}  // namespace

int RunWindowed(const SetupRun& run) {
  if (!LoadSkinArchive(run.instance)) return kExitFatal;
  BecomePerMonitorDpiAware();
  curl_global_init(CURL_GLOBAL_ALL);

  // The statistics service's host is configuration: the report host the scripts use.
  ZPKScriptEngine* engine = ZPKScriptEngine::Instance();
  const std::wstring dispatchHost = engine->GetGlobalString("global_udp_install_uninstall_url");
  const uint32_t unionId = ReadUnionId(engine->GetGlobalString("global_reg_sub_key"));
  QVStatModule::Instance()->Init(run.appId, static_cast<int>(unionId), dispatchHost, std::wstring());

  int code = kExitFatal;  // no window: nothing was installed
  {
    CDlgInstall window;
    if (window.Create(nullptr, L"", kWindowStyle, kWindowExStyle, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT)) {
      skin::CPaintManagerUI::MessageLoop();
      // Closed before the installation was finished: the user cancelled it.
      code = !window.Installed()                          ? kExitCancelled
             : engine->GetGlobalBoolean("restart_needed") ? kExitRestartNeeded
                                                          : kExitSuccess;
    }
    skin::CPaintManagerUI::Archive().Close();
    QVStatModule::Instance()->Uninit();
    curl_global_cleanup();
    CoUninitialize();
    ScheduleLogDeletion(run);
  }  // the window object goes last
  return code;
}
