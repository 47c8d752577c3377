#include "uninstallrun.h"

#include <windows.h>
#include <objbase.h>

#include <fstream>
#include <iterator>

#include "exitcodes.h"
#include "log/debugoutput.h"
#include "log/qvbaselog.h"
#include "msgbox.h"
#include "scriptengine.h"
#include "tempfolder.h"
#include "textconv.h"
#include "uninstallwindow.h"

namespace {

bool RunChunkFile(const std::wstring& path, const char* name) {
  std::ifstream in(path.c_str(), std::ios::binary);
  if (!in) {
    qd::Output(L"cannot read %ls\r\n", path.c_str());
    return false;
  }
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return ZPKScriptEngine::Instance()->DoBuffer(bytes.data(), bytes.size(), name);
}

void OpenLog() {
  const std::wstring temp = TemporaryFolder();
  if (!temp.empty()) CQVBaseLog::Instance()->InitLogger(Utf16ToAnsi((temp + L"Uninstall.log").c_str()).c_str());
}

// The confirm/done message boxes: the run without a (usable) skin.
int RunWithMessageBoxes(CUninstallSession& session, const UninstallArgs& args) {
  const std::wstring& product = session.Product();
  const std::wstring caption = product + L" - 卸载";
  const std::wstring question = L"确定要完全移除 " + product + L" 及其所有组件吗？";
  if (ZpkMessageBox(nullptr, question.c_str(), caption.c_str(), MB_ICONQUESTION | MB_YESNO) != IDYES)
    return kExitCancelled;
  session.SetChoices(args);
  session.Remove();
  session.Finish();
  const std::wstring done = product + L" 已从您的电脑中移除。";
  ZpkMessageBox(nullptr, done.c_str(), caption.c_str(), MB_ICONINFORMATION | MB_OK);
  return 0;
}

// The script leaves the installation folder in place when it is not the product's own
// (a drive root, a system or user folder, or one without Uninst.dar0): the user is told,
// and the run counts as failed.
bool FolderKept(const UninstallArgs& args) {
  const std::wstring kept = ZPKScriptEngine::Instance()->GetGlobalString("install_folder_kept");
  if (kept.empty()) return false;
  qd::Output(L"install folder %ls kept: not the product's own folder", kept.c_str());
  if (!args.silent) {
    const std::wstring text = L"没有删除文件夹“" + kept +
                              L"”：它是驱动器根目录或系统、用户文件夹，或其中没有本产品的卸载信息。"
                              L"为保护其中的其他文件，请手动删除属于本产品的文件。";
    ZpkMessageBox(nullptr, text.c_str(), L"卸载", MB_ICONWARNING | MB_OK);
  }
  return true;
}

}  // namespace

bool CUninstallSession::Prepare(const UninstallArgs& args) {
  ZPKScriptEngine* engine = ZPKScriptEngine::Instance();
  const std::wstring& dir = args.installDir;
  if (!RunChunkFile(dir + L"\\Uninst.dar0", "Uninst.dar0") || !RunChunkFile(dir + L"\\Uninst.dar1", "Uninst.dar1"))
    return false;
  product_ = engine->GetGlobalString("global_product_name");
  engine->SetGlobalString("global_install_path", dir);
  engine->SetGlobalBoolean("ChkUserSetting", false);
  engine->SetGlobalString("_Uninstall_Path", args.origin);
  return true;
}

// When the user said nothing the feedback globals stay nil, and the script sends no
// reason report.
void CUninstallSession::SetChoices(const UninstallArgs& choices) {
  ZPKScriptEngine* engine = ZPKScriptEngine::Instance();
  engine->SetGlobalBoolean("ClearUserData", choices.clearUserData);
  if (!choices.reason && !choices.contact && !choices.suggest) return;
  if (choices.reason) engine->SetGlobalString("ReasonID", *choices.reason);
  engine->SetGlobalString("tbContact", choices.contact.value_or(L""));
  engine->SetGlobalString("tbSuggest", choices.suggest.value_or(L""));
}

void CUninstallSession::Remove() {
  ZPKScriptEngine* engine = ZPKScriptEngine::Instance();
  engine->CallEvent("ZPKSE_BeforeInit");
  engine->CallEvent("ZPKSE_OnUninstall");
  engine->CallEvent("ZPKSE_FeedBack");
}

void CUninstallSession::Finish() { ZPKScriptEngine::Instance()->CallEvent("ZPKSE_AfterUnintall"); }

int RunUninstall(const UninstallArgs& args) {
  OpenLog();
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  CUninstallSession session;
  int code = kExitSuccess;
  if (!session.Prepare(args)) {
    if (!args.silent) {
      ZpkMessageBox(nullptr, L"卸载程序的文件已损坏，无法卸载。", L"卸载", MB_ICONERROR | MB_OK);
    }
    code = kExitFatal;
  } else if (args.silent) {
    session.SetChoices(args);
    session.Remove();
    session.Finish();
  } else {
    const WindowOutcome outcome = RunUninstallWindow(session, args);
    if (outcome == WindowOutcome::kUnavailable) code = RunWithMessageBoxes(session, args);
    else code = outcome == WindowOutcome::kCancelled ? kExitCancelled : kExitSuccess;
  }
  if (code == kExitSuccess && FolderKept(args)) code = kExitFatal;
  // Files in use were moved aside and go at the next restart.
  if (code == kExitSuccess && ZPKScriptEngine::Instance()->GetGlobalBoolean("restart_needed"))
    code = kExitRestartNeeded;
  if (SUCCEEDED(com)) CoUninitialize();
  return code;
}
