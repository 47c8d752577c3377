#include "installmgr.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <vector>

#include "handles.h"
#include "latebound.h"
#include "log/debugoutput.h"
#include "log/qvbaselog.h"
#include "scriptengine.h"
#include "textconv.h"
#include "zpkprocesstoolhelp.h"

namespace {

const wchar_t kBlockedKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Blocked";
const wchar_t kZipFolderMenuClsid[] = L"{b8cdcb65-b1bf-4b42-9428-1dfdb7ee92af}";
const wchar_t kZipFolderMenuName[] = L"Compressed (zipped) Folder Menu";
const wchar_t* const kSendToEntries[] = {
    L"\\Microsoft\\Windows\\SendTo\\Compressed (zipped) Folder.ZFSendToTarget",
    L"\\Microsoft\\Windows\\SendTo\\压缩(zipped)文件夹.ZFSendToTarget",
};

bool IsDots(const wchar_t* name) { return !wcscmp(name, L".") || !wcscmp(name, L".."); }

// Ends the processes named like the ".exe" files lying directly in folder.
void KillToolsIn(const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  UniqueFindHandle find(FindFirstFileW((folder + L"\\*.*").c_str(), &entry));
  if (!find) return;
  do {
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    // Case-sensitive on purpose: only the extension the installer itself writes.
    if (wcscmp(PathFindExtensionW(entry.cFileName), L".exe") != 0) continue;
    QVLOG_INFO("2:----{}", Utf16ToUtf8(entry.cFileName));
    zpkprocesstoolhelp::TerminateProcessesByName({entry.cFileName}, 10000);
  } while (FindNextFileW(find.get(), &entry));
}

void HideSendToEntry() {
  wchar_t appData[MAX_PATH];
  if (!SHGetSpecialFolderPathW(nullptr, appData, CSIDL_APPDATA, FALSE)) return;
  for (const wchar_t* entry : kSendToEntries) {
    std::wstring path = std::wstring(appData) + entry;
    if (path.size() >= MAX_PATH) continue;
    DWORD attrs = GetFileAttributesW(path.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES) continue;
    SetFileAttributesW(path.c_str(), attrs | FILE_ATTRIBUTE_HIDDEN);
    return;
  }
}

void BlockZipFolderMenu() {
  REGSAM access = KEY_READ | KEY_WRITE;
  if (latebound::IsWow64()) access |= KEY_WOW64_64KEY;
  HKEY raw = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kBlockedKey, 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                      nullptr, &raw, nullptr) != ERROR_SUCCESS) {
    return;
  }
  UniqueRegKey key(raw);
  const DWORD bytes = sizeof kZipFolderMenuName;  // terminating null included
  if (RegSetValueExW(key.get(), kZipFolderMenuClsid, 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(kZipFolderMenuName), bytes) == ERROR_SUCCESS) {
    SHChangeNotify(SHCNE_UPDATEITEM, SHCNF_PATHW, kBlockedKey, nullptr);
  }
}

}  // namespace

CInstallMgr* CInstallMgr::Instance() {
  static CInstallMgr manager;
  return &manager;
}

CInstallMgr::~CInstallMgr() = default;

// Each event opens a step in the install log; the benchmark reads the time between steps.
void CInstallMgr::RunEvent(const char* name) {
  std::lock_guard<std::mutex> guard(lock_);
  QVLOG_INFO("step: {}", name);
  ZPKScriptEngine::Instance()->CallEvent(name);
}

void CInstallMgr::BeforeInit() { RunEvent("ZPKSE_BeforeInit"); }
void CInstallMgr::BeforeInstall() { RunEvent("ZPKSE_BeforeInstall"); }
void CInstallMgr::BeforeComplete() { RunEvent("ZPKSE_BeforeComplete"); }
void CInstallMgr::AfterComplete() { RunEvent("ZPKSE_AfterComplete"); }

void CInstallMgr::OnInstall() {
  std::lock_guard<std::mutex> guard(lock_);
  QVLOG_INFO("step: tool processes and the zip folder's Send To entry");
  KillAllToolProcess();
  HideSystemZipFolder();
  QVLOG_INFO("step: ZPKSE_OnInstall");
  ZPKScriptEngine::Instance()->CallEvent("ZPKSE_OnInstall");
}

void CInstallMgr::KillAllToolProcess() {
  const std::wstring tools =
      ZPKScriptEngine::Instance()->GetGlobalString("global_install_path") + L"\\Tools\\";
  QVLOG_INFO("strAppPath:{}", Utf16ToUtf8(tools));
  WIN32_FIND_DATAW entry;
  UniqueFindHandle find(FindFirstFileW((tools + L"*.*").c_str(), &entry));
  if (!find) return;
  do {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || IsDots(entry.cFileName)) continue;
    const std::wstring sub = tools + entry.cFileName;
    QVLOG_INFO("{}", Utf16ToUtf8(sub));
    KillToolsIn(sub);
  } while (FindNextFileW(find.get(), &entry));
}

void CInstallMgr::HideSystemZipFolder() {
  qd::OutputText(L"HMenu1 ~!\r\n");
  HideSendToEntry();
  BlockZipFolderMenu();
}

void RunInstallEvents() {
  CInstallMgr::Instance()->OnInstall();
  CInstallMgr::Instance()->BeforeComplete();
}
