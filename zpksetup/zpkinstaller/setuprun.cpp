#include "setuprun.h"

#include <objbase.h>
#include <objidl.h>
#include <gdiplus.h>

#include "commandlineargs.h"
#include "exitcodes.h"
#include "handles.h"
#include "installmgr.h"
#include "listener.h"
#include "log/debugoutput.h"
#include "log/qvbaselog.h"
#include "payloadverify.h"
#include "scriptengine.h"
#include "singleinstance.h"
#include "startupdecisions.h"
#include "tempfolder.h"
#include "textconv.h"

namespace {

// %TEMP%\Install.log; empty (no log file) when the temporary folder cannot be found.
std::wstring BuildLogPath() {
  const std::wstring temp = TemporaryFolder();
  return temp.empty() ? std::wstring() : temp + L"Install.log";
}

void OpenLog(const std::wstring& logPath) {
  if (logPath.empty()) {
    qd::OutputText(L"no temporary folder: the run keeps no log file");
    return;
  }
  DeleteFileW(logPath.c_str());
  CQVBaseLog::Instance()->InitLogger(Utf16ToAnsi(logPath.c_str()).c_str());
}

// The configuration chunk, then the install chunk, into the one script state.
bool LoadScripts(ZPKScriptEngine* engine) {
  if (!engine->DoResLua(L"LUA", L"GLOBAL_VAR.LUAC")) {
    qd::OutputText(L"DoResLua failed, GLOBAL_VAR.LUAC");
    return false;
  }
  if (!engine->DoResLua(L"LUA", L"INSTSCRIPT.LUAC")) {
    qd::OutputText(L"DoResLua failed, INSTSCRIPT.LUAC");
    return false;
  }
  return true;
}

// GDI+ once for the process, shut down at process exit.
class GdiplusSession {
 public:
  static void Start() { static GdiplusSession session; }

 private:
  GdiplusSession() {
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&token_, &input, nullptr) != Gdiplus::Ok) token_ = 0;
  }
  ~GdiplusSession() {
    if (token_) Gdiplus::GdiplusShutdown(token_);
  }
  ULONG_PTR token_ = 0;
};

}  // namespace

int RunSetup(HINSTANCE instance) {
  SetupRun run;
  run.instance = instance;
  run.logPath = BuildLogPath();
  OpenLog(run.logPath);

  const CommandLineArgs args(GetCommandLineW());
  std::wstring value;
  const bool hasListener = args.Find(L"InstallListenWnd", value);
  const uint32_t listener = hasListener ? ListenerWindowValue(value) : 0;
  SetListenerWindow(reinterpret_cast<HWND>(static_cast<ULONG_PTR>(listener)));

  ZPKScriptEngine* engine = ZPKScriptEngine::Instance();
  // A broken installer has done nothing, and must not be taken for a successful one.
  if (!LoadScripts(engine)) return kExitFatal;

  const InstanceIdentity identity = ChooseInstanceIdentity(
      engine->GetGlobalString("global_install_mutex_guid"), engine->GetGlobalInteger("global_app_id"));
  run.appId = identity.appId;
  UniqueKernelHandle otherInstance(CreateAppInstance(identity.name, identity.appId));

  // Presence of the key lets this run go on beside another instance; only the exact
  // value "true" asks for a silent run.
  const bool silentKey = args.Find(L"InstallSlience", value);
  const bool commandLineSilent = silentKey && value == L"true";
  if (otherInstance && !silentKey) {
    qd::OutputText(L"CreateAppInstance return true");
    // A deployment tool's silent start learns to retry later; a second windowed start
    // has only brought the first window forward.
    return engine->GetGlobalBoolean("silent_requested") ? kExitAnotherInstall : kExitSuccess;
  }

  CoInitialize(nullptr);
  GdiplusSession::Start();
  CInstallMgr::Instance()->BeforeInit();

  const bool enableSilent = engine->GetGlobalBoolean("global_enable_ss_install");
  const RunMode mode = DecideRunMode(enableSilent, commandLineSilent, [engine] {
    return engine->GetGlobalBoolean("global_ss_install");
  });
  if (mode != RunMode::kSilent) return RunWindowed(run);  // it checks beside its window
  // Before the first event that changes the machine: a damaged or tampered download stops
  // here instead of halfway through the extraction, with services already stopped.
  QVLOG_INFO("step: payload check");
  if (!VerifyEmbeddedPayload(instance, true, PayloadCaption())) {
    CoUninitialize();
    return kExitDamagedPayload;
  }
  return RunSilent(run);
}

std::wstring PayloadCaption() {
  const std::wstring caption = ZPKScriptEngine::Instance()->GetGlobalString("global_product_name");
  return caption.empty() ? L"安装" : caption;
}

void ScheduleLogDeletion(const SetupRun& run) {
  if (!run.logPath.empty()) MoveFileExW(run.logPath.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}
