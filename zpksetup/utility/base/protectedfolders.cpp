#include "protectedfolders.h"

#include <windows.h>
// The folder ids are defined here, each on its own: from libuuid they would come as one
// object of every id Windows has (35 KB in every installer).
#include <initguid.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "log/debugoutput.h"

namespace {

std::wstring Folded(std::wstring text) {
  if (!text.empty()) CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
  return text;
}

std::wstring FullPath(const std::wstring& path) {
  const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::wstring full(needed, L'\0');
  const DWORD len = GetFullPathNameW(path.c_str(), needed, &full[0], nullptr);
  full.resize(len < needed ? len : 0);
  return full;
}

// Short (8.3) names of an existing path written out, so PROGRA~1 is Program Files.
std::wstring LongPath(const std::wstring& path) {
  const DWORD needed = GetLongPathNameW(path.c_str(), nullptr, 0);
  if (needed == 0) return path;
  std::wstring full(needed, L'\0');
  const DWORD len = GetLongPathNameW(path.c_str(), &full[0], needed);
  if (len == 0 || len >= needed) return path;
  full.resize(len);
  return full;
}

std::wstring Comparable(const std::wstring& path) {
  return Folded(folderrules::Canonical(LongPath(FullPath(path))));
}

void AddKnown(std::vector<std::wstring>& list, REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path)) && path && *path)
    list.push_back(Comparable(path));
  CoTaskMemFree(path);
}

void AddVariable(std::vector<std::wstring>& list, const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  const DWORD len = GetEnvironmentVariableW(name, value, MAX_PATH);
  if (len > 0 && len < MAX_PATH) list.push_back(Comparable(value));
}

folderrules::WellKnown GatherWellKnown() {
  folderrules::WellKnown known;
  wchar_t windows[MAX_PATH] = {};
  const UINT len = GetSystemWindowsDirectoryW(windows, MAX_PATH);
  if (len > 0 && len < MAX_PATH) known.systemTrees.push_back(Comparable(windows));
  AddKnown(known.systemTrees, FOLDERID_Windows);
  static const KNOWNFOLDERID* const kFolders[] = {
      &FOLDERID_ProgramFiles, &FOLDERID_ProgramFilesX86, &FOLDERID_ProgramFilesX64,
      &FOLDERID_ProgramFilesCommon, &FOLDERID_ProgramFilesCommonX86, &FOLDERID_ProgramFilesCommonX64,
      &FOLDERID_ProgramData, &FOLDERID_UserProfiles, &FOLDERID_Profile, &FOLDERID_Public,
      &FOLDERID_Desktop, &FOLDERID_PublicDesktop, &FOLDERID_Documents, &FOLDERID_PublicDocuments,
      &FOLDERID_Downloads, &FOLDERID_PublicDownloads, &FOLDERID_Music, &FOLDERID_PublicMusic,
      &FOLDERID_Pictures, &FOLDERID_PublicPictures, &FOLDERID_Videos, &FOLDERID_PublicVideos,
      &FOLDERID_RoamingAppData, &FOLDERID_LocalAppData, &FOLDERID_LocalAppDataLow,
      &FOLDERID_StartMenu, &FOLDERID_CommonStartMenu, &FOLDERID_Programs, &FOLDERID_CommonPrograms,
      &FOLDERID_Startup, &FOLDERID_CommonStartup, &FOLDERID_Favorites, &FOLDERID_Templates,
      &FOLDERID_CommonTemplates, &FOLDERID_SendTo, &FOLDERID_Recent, &FOLDERID_Links,
      &FOLDERID_Contacts, &FOLDERID_SavedGames, &FOLDERID_QuickLaunch,
  };
  for (const KNOWNFOLDERID* id : kFolders) AddKnown(known.folders, *id);
  // A 32-bit process is not told the 64-bit Program Files folders through the shell.
  AddVariable(known.folders, L"ProgramW6432");
  AddVariable(known.folders, L"CommonProgramW6432");
  AddVariable(known.folders, L"ProgramFiles");
  AddVariable(known.folders, L"ProgramFiles(x86)");
  AddVariable(known.folders, L"TEMP");
  AddVariable(known.folders, L"TMP");
  return known;
}

}  // namespace

bool RefuseProtectedFolder(const std::wstring& path, const wchar_t* who, const wchar_t* consequence) {
  const folderrules::Verdict verdict = JudgeFolder(path);
  if (verdict == folderrules::Verdict::kAllowed) return false;
  qd::Output(L"%ls: %ls is %ls, %ls", who, path.c_str(), folderrules::Describe(verdict), consequence);
  return true;
}

folderrules::Verdict JudgeFolder(const std::wstring& path) {
  wchar_t expanded[MAX_PATH] = {};
  const DWORD units = ExpandEnvironmentStringsW(path.c_str(), expanded, MAX_PATH);
  std::wstring plain = units > 0 && units <= MAX_PATH ? std::wstring(expanded) : path;
  if (plain.empty()) return folderrules::Verdict::kNotAbsolute;
  if (plain.size() == 2 && plain[1] == L':') plain += L'\\';  // "D:" stands for the drive here, not its current folder
  return folderrules::Judge(Comparable(plain), GatherWellKnown());
}
