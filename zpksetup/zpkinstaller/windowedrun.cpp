// The windowed run: the skin archive from the resources, per-monitor DPI awareness,
// libcurl's global state, the union id, the statistics module, then the installer window
// (which checks the payload beside it) and its message loop; afterwards everything is
// taken down in reverse order.
#include <objbase.h>

#include <curl/curl.h>

#include "dlginstall.h"
#include "exitcodes.h"
#include "handles.h"
#include "log/debugoutput.h"
#include "monitordpi.h"
#include "paintmanager.h"
#include "resource/moduleresource.h"
#include "scriptengine.h"
#include "setuprun.h"
#include "stat/qvstatmodule.h"
#include "unionid.h"

namespace {

const DWORD kWindowStyle = 0x96C80000;  // popup, visible, clipping, caption, system menu
const DWORD kWindowExStyle = WS_EX_WINDOWEDGE;

// Hands the skin archive "ZIP"/249 to the skin engine; false when it is missing or empty.
bool LoadSkinArchive(HINSTANCE instance) {
  qvbase::ResourceBytes skin;
  switch (qvbase::ReadModuleResource(instance, MAKEINTRESOURCEW(249), L"ZIP", &skin)) {
    case qvbase::ResourceResult::kOk:
      skin::CPaintManagerUI::SetResourceZip(skin.data, skin.size);
      return true;
    case qvbase::ResourceResult::kNotLocked:
      QD_ERROR_TRACE(L"LockResource failed.");
      return false;
    case qvbase::ResourceResult::kEmpty:
      qd::OutputText(L"ResSize == 0\r\n");
      return false;
    default:
      QD_ERROR_TRACE(L"LoadResource failed. type : XML, id : LAYOUT.XML");
      return false;
  }
}

}  // namespace

int RunWindowed(const SetupRun& run) {
  if (!LoadSkinArchive(run.instance)) return kExitFatal;
  skin::BecomePerMonitorDpiAware();
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
      code = window.PayloadDamaged()                      ? kExitDamagedPayload
             : !window.Installed()                        ? kExitCancelled
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
