// The silent run: no window, the four remaining events one after another on the main
// thread, then the listener is told.
#include <objbase.h>

#include "dlginstallrules.h"
#include "exitcodes.h"
#include "installmgr.h"
#include "listener.h"
#include "log/debugoutput.h"
#include "log/qvbaselog.h"
#include "protectedfolders.h"
#include "scriptengine.h"
#include "setuprun.h"
#include "textconv.h"

namespace {

bool Acceptable(const std::wstring& folder) {
  if (!RefuseProtectedFolder(folder, L"install path", L"refused")) return true;
  QVLOG_INFO("install path {} refused: {}", Utf16ToUtf8(folder.c_str()),
             Utf16ToUtf8(folderrules::Describe(JudgeFolder(folder))));
  return false;
}

// The installation folder of a silent run. A drive root or a system or user folder gets
// the product's folder name appended, as the folder dialog does; empty when even that is
// refused.
std::wstring ChooseFolder(ZPKScriptEngine* engine) {
  const std::wstring chosen = engine->GetGlobalString("global_install_path");
  if (Acceptable(chosen)) return chosen;
  const std::wstring amended =
      dlginstall::FolderWithBaseName(chosen, engine->GetGlobalString("global_install_basepath"));
  if (amended != chosen && Acceptable(amended)) {
    QVLOG_INFO("installing into {} instead", Utf16ToUtf8(amended.c_str()));
    return amended;
  }
  return std::wstring();
}

}  // namespace

int RunSilent(const SetupRun& run) {
  ZPKScriptEngine* engine = ZPKScriptEngine::Instance();
  engine->SetGlobalBoolean("global_ss_install", true);
  qd::OutputText(L"global_ss_install==true ~!\r\n");
  qd::OutputText(L"start ss install!");
  QVLOG_INFO("step: installation folder check");
  const std::wstring folder = ChooseFolder(engine);
  if (folder.empty()) {
    qd::OutputText(L"no acceptable installation folder, nothing installed");
    QVLOG_INFO("no acceptable installation folder, nothing installed");
    CoUninitialize();
    ScheduleLogDeletion(run);
    return kExitFatal;
  }
  // The install script's ZPKSE_BeforeInstall adopts InstallPath as the target folder.
  engine->SetGlobalString("InstallPath", folder);

  CInstallMgr* manager = CInstallMgr::Instance();
  manager->BeforeInstall();
  manager->OnInstall();
  manager->BeforeComplete();
  manager->AfterComplete();

  NotifyListener();
  CoUninitialize();
  ScheduleLogDeletion(run);
  // Files in use were moved aside and go at the next restart.
  return engine->GetGlobalBoolean("restart_needed") ? kExitRestartNeeded : kExitSuccess;
}
