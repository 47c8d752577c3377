#include "uninstallrun.h"

#include <windows.h>
#include <objbase.h>

#include <fstream>
#include <iterator>

#include "log/debugoutput.h"
#include "log/qvbaselog.h"
#include "msgbox.h"
#include "scriptengine.h"
#include "textconv.h"

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
  wchar_t temp[MAX_PATH];
  if (GetTempPathW(MAX_PATH, temp)) {
    CQVBaseLog::Instance()->InitLogger(Utf16ToAnsi((std::wstring(temp) + L"Uninstall.log").c_str()).c_str());
  }
}

// The feedback globals. When the user said nothing they stay nil, and the script sends
// no reason report.
void SetFeedback(const UninstallArgs& args) {
  if (!args.reason && !args.contact && !args.suggest) return;
  ZPKScriptEngine* engine = ZPKScriptEngine::Instance();
  if (args.reason) engine->SetGlobalString("ReasonID", *args.reason);
  engine->SetGlobalString("tbContact", args.contact.value_or(L""));
  engine->SetGlobalString("tbSuggest", args.suggest.value_or(L""));
}

}  // namespace

int RunUninstall(const UninstallArgs& args) {
  OpenLog();
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ZPKScriptEngine* engine = ZPKScriptEngine::Instance();
  const std::wstring& dir = args.installDir;
  if (!RunChunkFile(dir + L"\\Uninst.dar0", "Uninst.dar0") ||
      !RunChunkFile(dir + L"\\Uninst.dar1", "Uninst.dar1")) {
    if (!args.silent) {
      ZpkMessageBox(nullptr, L"卸载程序的文件已损坏，无法卸载。", L"卸载", MB_ICONERROR | MB_OK);
    }
    return 1;
  }
  const std::wstring product = engine->GetGlobalString("global_product_name");
  engine->SetGlobalString("global_install_path", dir);
  engine->SetGlobalBoolean("ClearUserData", args.clearUserData);
  engine->SetGlobalBoolean("ChkUserSetting", false);
  engine->SetGlobalString("_Uninstall_Path", args.origin);
  if (!args.silent) {
    const std::wstring question = L"确定要完全移除 " + product + L" 及其所有组件吗？";
    if (ZpkMessageBox(nullptr, question.c_str(), (product + L" - 卸载").c_str(),
                      MB_ICONQUESTION | MB_YESNO) != IDYES)
      return 2;
  }
  engine->CallEvent("ZPKSE_BeforeInit");
  engine->CallEvent("ZPKSE_OnUninstall");
  SetFeedback(args);
  engine->CallEvent("ZPKSE_FeedBack");
  engine->CallEvent("ZPKSE_AfterUnintall");
  if (!args.silent) {
    const std::wstring done = product + L" 已从您的电脑中移除。";
    ZpkMessageBox(nullptr, done.c_str(), (product + L" - 卸载").c_str(), MB_ICONINFORMATION | MB_OK);
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return 0;
}
