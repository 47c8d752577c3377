#include "zpkprocesstoolhelp.h"

#include <tlhelp32.h>

#include <cwchar>
#include <functional>

#include "log/debugoutput.h"

namespace zpkprocesstoolhelp {
namespace {

// Calls visit for each process of snap (identifier 0, the idle process, skipped) until it
// returns false.
void WalkSnapshot(HANDLE snap, const std::function<bool(const PROCESSENTRY32W&)>& visit) {
  if (snap == INVALID_HANDLE_VALUE) return;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL ok = Process32FirstW(snap, &entry); ok; ok = Process32NextW(snap, &entry)) {
    if (entry.th32ProcessID == 0) continue;
    if (!visit(entry)) return;
  }
}

UniqueFileHandle TakeSnapshot() {
  return UniqueFileHandle(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
}

BOOL CALLBACK AskToClose(HWND window, LPARAM pid) {
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == static_cast<DWORD>(pid)) {
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    PostMessageW(window, WM_CLOSE, 0, 0);
  }
  return TRUE;
}

}  // namespace

int TerminateProcessesByName(const std::vector<std::wstring>& names, UINT exitCode) {
  UniqueFileHandle snap = TakeSnapshot();
  int ended = 0;
  WalkSnapshot(snap.get(), [&](const PROCESSENTRY32W& e) {
    for (const std::wstring& name : names) {
      if (lstrcmpiW(e.szExeFile, name.c_str()) != 0) continue;
      UniqueKernelHandle process(OpenProcess(PROCESS_ALL_ACCESS, FALSE, e.th32ProcessID));
      if (process && TerminateProcess(process.get(), exitCode)) ++ended;
      break;
    }
    return true;
  });
  return ended;
}

bool EndProcess(DWORD pid) {
  if (pid == 0) return true;
  if (pid == GetCurrentProcessId()) {
    qd::Output(L"EndProcess: %lu is the installer itself, not ended\r\n",
               static_cast<unsigned long>(pid));
    return false;
  }
  EnumWindows(&AskToClose, static_cast<LPARAM>(pid));
  EnablePrivilege(SE_DEBUG_NAME, true);
  UniqueKernelHandle process(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid));
  if (!process) return GetLastError() == ERROR_INVALID_PARAMETER;
  if (WaitForSingleObject(process.get(), kEndWaitMs) == WAIT_OBJECT_0) return true;
  TerminateProcess(process.get(), 0);
  return WaitForSingleObject(process.get(), kEndWaitMs) == WAIT_OBJECT_0;
}

bool EnablePrivilege(const wchar_t* name, bool enable) {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &raw)) {
    QD_ERROR_TRACE(L"OpenProcessToken failed!");
    return false;
  }
  UniqueKernelHandle token(raw);
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
  if (!LookupPrivilegeValueW(nullptr, name ? name : L"", &privileges.Privileges[0].Luid)) {
    QD_ERROR_TRACE(L"LookupPrivilegeValue failed!");
    return false;
  }
  if (!AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr)) {
    QD_ERROR_TRACE(L"AdjustTokenPrivileges failed!");
    return false;
  }
  // The call succeeds even for a privilege the token does not hold; only the last
  // error tells, and a caller relying on the privilege must not be told it has it.
  if (GetLastError() == ERROR_NOT_ALL_ASSIGNED) {
    QD_ERROR_TRACE(L"AdjustTokenPrivileges failed!");
    return false;
  }
  return true;
}

std::wstring DevicePrefix(const std::wstring& path) {
  size_t pos = 0;
  for (int slashes = 0; slashes < 3; ++slashes) {
    pos = path.find(L'\\', slashes == 0 ? 0 : pos + 1);
    if (pos == std::wstring::npos) return std::wstring();
  }
  return path.substr(0, pos);
}

void RewriteDevicePath(std::map<std::wstring, std::wstring>& drives, std::wstring& path) {
  const std::wstring prefix = DevicePrefix(path);
  if (prefix.empty()) return;
  // operator[] enters an unknown device with an empty drive.
  const std::wstring& drive = drives[prefix];
  // Only the leading device name is the device: the same text further on is part of a
  // file name and stays.
  path.replace(0, prefix.size(), drive);
}

CZpkProcessToolHelp::CZpkProcessToolHelp() : snapshot_(TakeSnapshot()) {}

DWORD CZpkProcessToolHelp::FindByName(const std::wstring& name) {
  DWORD found = kNoProcess;
  const DWORD self = GetCurrentProcessId();
  WalkSnapshot(snapshot_.get(), [&](const PROCESSENTRY32W& e) {
    if (e.th32ProcessID == self || lstrcmpiW(e.szExeFile, name.c_str()) != 0) return true;
    found = e.th32ProcessID;
    return false;
  });
  return found;
}

std::vector<DWORD> CZpkProcessToolHelp::FindAllByName(const std::wstring& name) {
  std::vector<DWORD> ids;
  WalkSnapshot(snapshot_.get(), [&](const PROCESSENTRY32W& e) {
    if (_wcsicmp(e.szExeFile, name.c_str()) == 0) ids.push_back(e.th32ProcessID);
    return true;
  });
  return ids;
}

bool CZpkProcessToolHelp::FillDriveMap() {
  DWORD size = GetLogicalDriveStringsW(0, nullptr);
  if (size == 0) {
    QD_ERROR_TRACE(L"GetLogicalDriveStrings failed");
    return false;
  }
  std::wstring list(size + 1, L'\0');
  DWORD written = GetLogicalDriveStringsW(size + 1, &list[0]);
  if (written == 0 || written > size) {
    QD_ERROR_TRACE(L"GetLogicalDriveStrings failed");
    return false;
  }
  for (const wchar_t* root = list.c_str(); *root; root += wcslen(root) + 1) {
    const std::wstring drive(root, 2);  // "C:" of "C:\"
    wchar_t device[MAX_PATH] = {};
    if (!QueryDosDeviceW(drive.c_str(), device, MAX_PATH)) continue;
    drives_.emplace(device, drive);  // the first drive of a device keeps it
  }
  return true;
}

bool CZpkProcessToolHelp::DevicePathToDrivePath(std::wstring& path) {
  if (drives_.empty() && !FillDriveMap()) return false;
  RewriteDevicePath(drives_, path);
  return true;
}

}  // namespace zpkprocesstoolhelp
