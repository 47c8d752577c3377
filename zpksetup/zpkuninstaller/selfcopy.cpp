#include "selfcopy.h"

#include <shlwapi.h>

#include "handles.h"
#include "tempfolder.h"

bool MakeTemporaryCopy(const std::wstring& program, std::wstring& copy) {
  const std::wstring temp = TemporaryFolder();
  if (temp.empty()) return false;
  wchar_t folder[MAX_PATH];
  // A unique name, then a folder of that name (the file itself only reserved it).
  if (!GetTempFileNameW(temp.c_str(), L"uni", 0, folder)) return false;
  DeleteFileW(folder);
  if (!CreateDirectoryW(folder, nullptr)) return false;
  copy = std::wstring(folder) + L"\\" + PathFindFileNameW(program.c_str());
  if (CopyFileW(program.c_str(), copy.c_str(), FALSE)) return true;
  RemoveDirectoryW(folder);
  return false;
}

DWORD RunAndWait(const std::wstring& exe, const std::wstring& arguments) {
  std::wstring command = L"\"" + exe + L"\" " + arguments;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi))
    return 1;
  UniqueKernelHandle process(pi.hProcess);
  UniqueKernelHandle thread(pi.hThread);
  WaitForSingleObject(process.get(), INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.get(), &code);
  return code;
}

void RemoveTemporaryCopy(const std::wstring& copy) {
  wchar_t folder[MAX_PATH];
  lstrcpynW(folder, copy.c_str(), MAX_PATH);
  PathRemoveFileSpecW(folder);
  // The copy's process has ended, but the system may hold the image a moment longer.
  bool deleted = false;
  for (int i = 0; i < 20 && !(deleted = DeleteFileW(copy.c_str()) != 0); ++i) Sleep(100);
  if (!deleted) MoveFileExW(copy.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  // Whatever else the run left there (the statistics DLL copy) goes too.
  WIN32_FIND_DATAW entry;
  UniqueFindHandle find(FindFirstFileW((std::wstring(folder) + L"\\*").c_str(), &entry));
  if (find) {
    do {
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      const std::wstring path = std::wstring(folder) + L"\\" + entry.cFileName;
      if (!DeleteFileW(path.c_str())) MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    } while (FindNextFileW(find.get(), &entry));
  }
  if (!RemoveDirectoryW(folder)) MoveFileExW(folder, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}
