#include "primitives/system.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <atomic>
#include <cwctype>

#include "latebound.h"
#include "scriptargs.h"
#include "zpkprocesstoolhelp.h"

namespace systemprims {
namespace {

std::atomic<ExitWindowsFn> g_exitWindows{&ExitWindowsEx};

// Index of the argument counted from the end (0 = the last); 0 when there are too few.
int FromEnd(lua_State* L, int back) {
  int index = lua_gettop(L) - back;
  return index >= 1 ? index : 0;
}

std::vector<std::wstring> FixedDrives() {
  std::vector<std::wstring> drives;
  const DWORD mask = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(mask & (1u << i))) continue;
    wchar_t name[8];
    _snwprintf(name, 8, L"%c%ls", L'A' + i, L":");
    name[7] = 0;
    if (GetDriveTypeW(name) == DRIVE_FIXED) drives.push_back(name);
  }
  return drives;
}

bool HasDrivePrefix(const std::wstring& path) {
  return path.size() >= 2 && std::iswalpha(path[0]) && path[1] == L':';
}

// GetModuleFileNameW cuts a long path to the buffer without saying so in its result:
// grow until the whole path fits.
std::wstring ModuleFileName(HMODULE module) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(module, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0) return std::wstring();
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    if (path.size() >= 32768) return std::wstring();
    path.resize(path.size() * 2);
  }
}

}  // namespace

ExitWindowsFn SetExitWindowsFunction(ExitWindowsFn fn) {
  return g_exitWindows.exchange(fn ? fn : &ExitWindowsEx);
}

std::wstring ChooseInstallPath(const std::wstring& defaultPath,
                               const std::vector<std::wstring>& fixedDrives,
                               const std::function<bool(const std::wstring&)>& exists) {
  // Without a drive letter (an unset variable left unexpanded) there is nothing to move.
  if (fixedDrives.size() < 2 || !HasDrivePrefix(defaultPath)) return defaultPath;
  for (size_t i = 1; i < fixedDrives.size(); ++i) {
    std::wstring candidate = defaultPath;
    candidate.replace(0, 2, fixedDrives[i]);
    if (exists(candidate)) return candidate;
  }
  return defaultPath;
}

}  // namespace systemprims

using systemprims::FromEnd;

int Lua_GetOSVersion(lua_State* L) {
  lua_pushinteger(L, LOBYTE(LOWORD(GetVersion())));
  return 1;
}

int Lua_IsWow64(lua_State* L) {
  return scriptargs::PushBoolean(L, latebound::IsWow64());
}

int Lua_ExitWindows(lua_State* L) {
  const UINT flags = static_cast<UINT>(scriptargs::Unsigned(L, 1));
  const DWORD reason = static_cast<DWORD>(scriptargs::Unsigned(L, 2));
  zpkprocesstoolhelp::EnablePrivilege(SE_SHUTDOWN_NAME, true);
  return scriptargs::PushBoolean(L, systemprims::g_exitWindows.load()(flags, reason) != FALSE);
}

int Lua_GetModuleFileName(lua_State* L) {
  HMODULE module = nullptr;
  if (lua_gettop(L) >= 1) {
    const std::wstring name = scriptargs::Text(L, 1);
    // A module that is not loaded gives no handle, which names the installer itself.
    if (!name.empty()) module = GetModuleHandleW(name.c_str());
  }
  return scriptargs::PushText(L, systemprims::ModuleFileName(module));
}

int Lua_GetCommandLineArgv(lua_State* L) {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!argv) return 0;
  if (count < 1) {
    LocalFree(argv);
    return 0;
  }
  lua_createtable(L, count, 0);
  for (int i = 0; i < count; ++i) {
    scriptargs::PushText(L, argv[i]);
    lua_rawseti(L, -2, i + 1);
  }
  LocalFree(argv);
  return 1;
}

int Lua_EnablePrivilege(lua_State* L) {
  const int nameIndex = FromEnd(L, 1);
  const int flagIndex = FromEnd(L, 0);
  const std::wstring name = nameIndex ? scriptargs::Text(L, nameIndex) : std::wstring();
  const bool enable = flagIndex ? scriptargs::Boolean(L, flagIndex) : false;
  return scriptargs::PushBoolean(L, zpkprocesstoolhelp::EnablePrivilege(name.c_str(), enable));
}

int Lua_GetDriverInstallPath(lua_State* L) {
  const std::wstring defaultPath = scriptargs::Expand(L"%ProgramFiles%\\");
  const std::wstring path = systemprims::ChooseInstallPath(
      defaultPath, systemprims::FixedDrives(),
      [](const std::wstring& p) { return PathFileExistsW(p.c_str()) != FALSE; });
  return scriptargs::PushText(L, path);
}
