// The silent run: no window, the four remaining events one after another on the main
// thread, then the listener is told.
#include <objbase.h>

#include "installmgr.h"
#include "listener.h"
#include "log/debugoutput.h"
#include "scriptengine.h"
#include "setuprun.h"

void RunSilent(const SetupRun& run) {
  ZPKScriptEngine* engine = ZPKScriptEngine::Instance();
  engine->SetGlobalBoolean("global_ss_install", true);
  qd::OutputText(L"global_ss_install==true ~!\r\n");
  qd::OutputText(L"start ss install!");
  // The install script's ZPKSE_BeforeInstall adopts InstallPath as the target folder.
  engine->SetGlobalString("InstallPath", engine->GetGlobalString("global_install_path"));

  CInstallMgr* manager = CInstallMgr::Instance();
  manager->BeforeInstall();
  manager->OnInstall();
  manager->BeforeComplete();
  manager->AfterComplete();

  NotifyListener();
  CoUninitialize();
  ScheduleLogDeletion(run);
}
