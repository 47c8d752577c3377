#include "primitives/shell.h"

// COM's interface macros first: the lean Windows headers leave them out.
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <intshcut.h>

#include <climits>
#include <cmath>
#include <vector>

#include "folderrules.h"
#include "handles.h"
#include "latebound.h"
#include "log/debugoutput.h"
#include "scriptargs.h"

namespace {

// The COM classes and interfaces of the two shortcut kinds.
const CLSID kClsidShellLink = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kIidShellLinkW = {0x000214F9, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const CLSID kClsidInternetShortcut = {0xFBF23B40, 0xE3F0, 0x101B, {0x84, 0x88, 0x00, 0xAA, 0x00, 0x3E, 0x56, 0xF8}};
const IID kIidUrlLocatorW = {0xCABB0DA0, 0xDA57, 0x11CF, {0x99, 0x74, 0x00, 0x20, 0xAF, 0xD7, 0x97, 0x62}};
const IID kIidPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// The error trace carries the failing HRESULT as its error code: COM calls do not set
// the thread's last error themselves.
#define SHELL_TRACE(hr, msg)                   \
  do {                                         \
    SetLastError(static_cast<DWORD>(hr));      \
    QD_ERROR_TRACE(msg);                       \
  } while (0)

// "<Call> <argument> failed!\r\n" on a line of its own, then the trace without message.
#define SHELL_SHORT_TRACE(hr, format, arg) \
  do {                                     \
    qd::Output(format, (arg).c_str());     \
    SHELL_TRACE(hr, L"");                  \
  } while (0)

// shell32's directory creation (ordinal 165) makes every missing parent.
void EnsureDirectory(const std::wstring& dir) {
  if (dir.empty() || PathFileExistsW(dir.c_str())) return;
  latebound::ShellCreateDirectory(dir);
}

bool SaveTo(IUnknown* object, const std::wstring& link) {
  ComPtr<IPersistFile> file;
  HRESULT hr = object->QueryInterface(kIidPersistFile, file.out());
  if (FAILED(hr)) {
    SHELL_TRACE(hr, L"QueryInterface IID_IPersistFile failed!");
    return false;
  }
  hr = file->Save(link.c_str(), TRUE);
  if (FAILED(hr)) {
    SHELL_SHORT_TRACE(hr, L"Save %ls failed!\r\n", link);
    return false;
  }
  qd::Output(L"Save Shortcut %ls \r\n", link.c_str());
  return true;
}

bool SaveInternetShortcut(const std::wstring& url, const std::wstring& link) {
  ComPtr<IUniformResourceLocatorW> locator;
  HRESULT hr = CoCreateInstance(kClsidInternetShortcut, nullptr, CLSCTX_ALL, kIidUrlLocatorW, locator.out());
  if (FAILED(hr)) {
    SHELL_TRACE(hr, L"CoCreateInstance(CLSID_InternetShortcut) failed!");
    return false;
  }
  hr = locator->SetURL(url.c_str(), 0);
  if (FAILED(hr)) {
    SHELL_SHORT_TRACE(hr, L"SetURL %ls failed!\r\n", url);
    return false;
  }
  return SaveTo(locator.get(), link);
}

// Arguments and description are touched only when the caller passed a fourth argument;
// a nil among them leaves that property alone.
bool SaveShellLink(lua_State* L, int argc, const std::wstring& target, const std::wstring& link) {
  ComPtr<IShellLinkW> shellLink;
  HRESULT hr = CoCreateInstance(kClsidShellLink, nullptr, CLSCTX_ALL, kIidShellLinkW, shellLink.out());
  if (FAILED(hr)) {
    SHELL_TRACE(hr, L"CoCreateInstance(CLSID_ShellLink) failed!");
    return false;
  }
  if (argc >= 4 && !lua_isnil(L, 3)) {
    const std::wstring arguments = scriptargs::Text(L, 3);
    hr = shellLink->SetArguments(arguments.c_str());
    if (FAILED(hr)) {
      SHELL_SHORT_TRACE(hr, L"SetArguments %ls failed!\r\n", arguments);
      return false;
    }
  }
  if (argc >= 4 && !lua_isnil(L, 4)) {
    const std::wstring description = scriptargs::Text(L, 4);
    hr = shellLink->SetDescription(description.c_str());
    if (FAILED(hr)) {
      SHELL_SHORT_TRACE(hr, L"SetDescription %ls failed!\r\n", description);
      return false;
    }
  }
  hr = shellLink->SetPath(target.c_str());
  if (FAILED(hr)) {
    SHELL_SHORT_TRACE(hr, L"SetPath %ls failed!\r\n", target);
    return false;
  }
  const std::wstring dir = folderrules::ParentFolder(target);
  hr = shellLink->SetWorkingDirectory(dir.c_str());
  if (FAILED(hr)) {
    SHELL_SHORT_TRACE(hr, L"SetWorkingDirectory %ls failed!\r\n", dir);
    return false;
  }
  return SaveTo(shellLink.get(), link);
}

// Runs hidden and blocks until the started program ends. A program that cannot be
// started gives false without a shell error box: nobody may be there to answer it.
bool RunAndWait(const std::wstring& file, const std::wstring& params, const std::wstring& dir) {
  SHELLEXECUTEINFOW sei = {};
  sei.cbSize = sizeof sei;
  sei.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  sei.lpFile = file.c_str();
  sei.lpParameters = params.c_str();
  sei.lpDirectory = dir.empty() ? nullptr : dir.c_str();
  sei.nShow = SW_HIDE;
  if (!ShellExecuteExW(&sei)) return false;
  if (sei.hProcess) {
    WaitForSingleObject(sei.hProcess, INFINITE);
    CloseHandle(sei.hProcess);
  }
  return true;
}

bool EqualsAny(const std::wstring& verb, std::initializer_list<const wchar_t*> names) {
  for (const wchar_t* name : names)
    if (_wcsicmp(verb.c_str(), name) == 0) return true;
  return false;
}

// WinExec answers 0 when out of resources and 1 to 31 for the other failures (explorer
// not found, for one); only a larger value means the shell was started.
bool Launched(UINT winExecResult) { return winExecResult > 31; }

}  // namespace

namespace shellprim {
bool IsPinVerb(const std::wstring& verb) {
  return EqualsAny(verb, {L"Startpin", L"Startunpin", L"Taskbarpin", L"Taskbarunpin"});
}
bool IsUnpinVerb(const std::wstring& verb) { return EqualsAny(verb, {L"Startunpin", L"Taskbarunpin"}); }
}  // namespace shellprim

UINT DesktopShellLaunch(const std::wstring& file, const std::wstring& parameters) {
  const std::wstring command = L"explorer.exe \"" + file + L"\" \"" + parameters + L"\"";
  const int bytes = WideCharToMultiByte(CP_THREAD_ACP, 0, command.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return 0;
  std::string ansi(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_THREAD_ACP, 0, command.c_str(), -1, &ansi[0], bytes, nullptr, nullptr);
  return WinExec(ansi.c_str(), SW_SHOWNORMAL);
}

int Lua_CreateShortcut(lua_State* L) {
  ComScope com;
  const int argc = lua_gettop(L);
  const std::wstring rawTarget = scriptargs::Text(L, 1);
  std::wstring link;
  if (!scriptargs::Path(L, 2, link)) {
    scriptargs::ReportMissing(L"Lua_CreateShortcut", scriptargs::Text(L, 2));
    return scriptargs::PushBoolean(L, false);
  }
  EnsureDirectory(folderrules::ParentFolder(link));
  // A URL keeps its text as written; the link path gets no extension added.
  if (PathIsURLW(rawTarget.c_str()))
    return scriptargs::PushBoolean(L, SaveInternetShortcut(rawTarget, link));
  std::wstring target;
  if (!scriptargs::Path(L, 1, target)) {
    scriptargs::ReportMissing(L"Lua_CreateShortcut", rawTarget);
    return scriptargs::PushBoolean(L, false);
  }
  return scriptargs::PushBoolean(L, SaveShellLink(L, argc, target, link));
}

int Lua_Exec(lua_State* L) {
  std::wstring file = scriptargs::Text(L, 1);
  const std::wstring verb = scriptargs::Text(L, 2);
  std::wstring params;
  std::wstring dir;
  if (!PathIsURLW(file.c_str())) {
    std::wstring expanded;
    const bool fits = scriptargs::Path(L, 1, expanded);
    if (!fits || !PathFileExistsW(expanded.c_str())) {
      if (shellprim::IsUnpinVerb(verb)) return scriptargs::PushBoolean(L, true);  // nothing to unpin
      scriptargs::ReportMissing(L"Lua_Exec", fits ? expanded : file);
      return scriptargs::PushBoolean(L, false);
    }
    file = expanded;
    params = scriptargs::Text(L, 3);
    dir = folderrules::ParentFolder(file);
  }
  if (scriptargs::Boolean(L, 5)) return scriptargs::PushBoolean(L, Launched(DesktopShellLaunch(file, params)));
  if (scriptargs::Boolean(L, 4)) return scriptargs::PushBoolean(L, RunAndWait(file, params, dir));
  const HINSTANCE r = ShellExecuteW(nullptr, verb.empty() ? nullptr : verb.c_str(), file.c_str(), params.c_str(),
                                    dir.empty() ? nullptr : dir.c_str(), SW_SHOWNORMAL);
  // The shell may refuse pinning (it does on current Windows): that is no failure.
  if (shellprim::IsPinVerb(verb)) return scriptargs::PushBoolean(L, true);
  return scriptargs::PushBoolean(L, reinterpret_cast<INT_PTR>(r) > 32);
}

int Lua_ExplorerExec(lua_State* L) {
  const std::wstring file = scriptargs::Text(L, 1);
  const std::wstring params = scriptargs::Text(L, 2);
  return scriptargs::PushBoolean(L, Launched(DesktopShellLaunch(file, params)));
}

int Lua_ShellExec(lua_State* L) {
  const std::wstring file = scriptargs::Text(L, 1);
  const std::wstring params = scriptargs::Text(L, 2);
  SHELLEXECUTEINFOW sei = {};
  sei.cbSize = sizeof sei;
  sei.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  sei.lpVerb = L"open";
  sei.lpFile = file.c_str();
  sei.lpParameters = params.c_str();
  sei.nShow = SW_HIDE;
  const bool ok = ShellExecuteExW(&sei) != FALSE;
  if (ok && sei.hProcess) CloseHandle(sei.hProcess);  // not waited for; do not leak it
  return scriptargs::PushBoolean(L, ok);
}

int Lua_RegVarByCSIDL(lua_State* L) {
  const std::wstring name = scriptargs::Text(L, 1);
  const lua_Number number = lua_tonumber(L, 2);
  const int csidl = (number >= INT_MIN && number <= INT_MAX) ? static_cast<int>(std::floor(number + 0.5)) : -1;
  wchar_t folder[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(nullptr, folder, csidl, FALSE)) {
    qd::Output(L"SHGetSpecialFolderPathW csidl=%d failed!\r\n", csidl);
    QD_ERROR_TRACE(L"");
    return scriptargs::PushBoolean(L, false);
  }
  // An empty name or one with '=' would not name a variable later references can reach.
  if (name.empty() || name.find(L'=') != std::wstring::npos) {
    SetLastError(ERROR_INVALID_PARAMETER);
    QD_ERROR_TRACE(L"SetEnvironmentVariableW failed!");
    return scriptargs::PushBoolean(L, false);
  }
  if (!SetEnvironmentVariableW(name.c_str(), folder)) {
    QD_ERROR_TRACE(L"SetEnvironmentVariableW failed!");
    return scriptargs::PushBoolean(L, false);
  }
  return scriptargs::PushBoolean(L, true);
}
