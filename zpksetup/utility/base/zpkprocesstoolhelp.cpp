#include "zpkprocesstoolhelp.h"

#include <tlhelp32.h>

#include <functional>

#include "handles.h"

namespace zpkprocesstoolhelp {
namespace {

// Calls visit for each process of a fresh snapshot until it returns false.
void ForEachProcess(const std::function<bool(const PROCESSENTRY32W&)>& visit) {
  UniqueFileHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snap) return;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL ok = Process32FirstW(snap.get(), &entry); ok; ok = Process32NextW(snap.get(), &entry)) {
    if (!visit(entry)) return;
  }
}

}  // namespace

std::vector<DWORD> FindProcessesByName(const std::wstring& name) {
  std::vector<DWORD> ids;
  ForEachProcess([&](const PROCESSENTRY32W& e) {
    if (lstrcmpiW(e.szExeFile, name.c_str()) == 0) ids.push_back(e.th32ProcessID);
    return true;
  });
  return ids;
}

int TerminateProcessesByName(const std::vector<std::wstring>& names, UINT exitCode) {
  int ended = 0;
  ForEachProcess([&](const PROCESSENTRY32W& e) {
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

}  // namespace zpkprocesstoolhelp
