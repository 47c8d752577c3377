#include "primitives/processes.h"

#include <windows.h>
#include <psapi.h>

#include <string>
#include <vector>

#include "handles.h"
#include "scriptargs.h"
#include "zpkprocesstoolhelp.h"

using zpkprocesstoolhelp::CZpkProcessToolHelp;
using zpkprocesstoolhelp::kNoProcess;

namespace {

// Index of the argument counted from the end (0 = the last); 0 when there are too few,
// which callers read as nil (index 0 is no valid stack slot).
int FromEnd(lua_State* L, int back) {
  int index = lua_gettop(L) - back;
  return index >= 1 ? index : 0;
}

// A process argument: an identifier when it is a number (or a numeric string), otherwise
// an executable name looked up in a fresh snapshot.
DWORD ProcessArgument(lua_State* L, int index) {
  if (lua_isnumber(L, index)) return static_cast<DWORD>(lua_tointeger(L, index));
  CZpkProcessToolHelp toolhelp;
  return toolhelp.FindByName(scriptargs::Text(L, index));
}

bool EndNamedOrNumbered(lua_State* L) {
  const DWORD pid = ProcessArgument(L, 1);
  if (pid == kNoProcess) return true;
  return zpkprocesstoolhelp::EndProcess(pid);
}

// The window step of Lua_TaskKill. An argument that was not passed at all is not nil.
void PostToWindowClass(lua_State* L) {
  if (lua_isnil(L, 2)) return;
  UINT message = WM_SYSCOMMAND;
  WPARAM wparam = SC_CLOSE;
  LPARAM lparam = 0;
  if (!lua_isnil(L, 3)) {
    message = static_cast<UINT>(scriptargs::Integer(L, 3));
    wparam = static_cast<WPARAM>(scriptargs::Integer(L, 4));
    lparam = static_cast<LPARAM>(scriptargs::Integer(L, 5));
  }
  HWND window = FindWindowW(scriptargs::Text(L, 2).c_str(), nullptr);
  // With no window a post would land in the installer's own thread queue (a quit or
  // close meant for another program would hit the installer itself): skip it.
  if (!window) return;
  PostMessageW(window, message, wparam, lparam);
}

// The image name of a process in device form, read into a buffer that also holds names
// longer than a drive path may be (the device name is longer than "C:").
bool ImageFileName(DWORD pid, std::wstring& out) {
  UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid));
  if (!process) return false;
  std::vector<wchar_t> buf(32768);
  DWORD n = GetProcessImageFileNameW(process.get(), buf.data(), static_cast<DWORD>(buf.size()));
  if (n == 0) return false;
  out.assign(buf.data(), n);
  return true;
}

}  // namespace

int Lua_GetProcessId(lua_State* L) {
  const int index = FromEnd(L, 0);
  const std::wstring name = index ? scriptargs::Text(L, index) : std::wstring();
  CZpkProcessToolHelp toolhelp;
  const std::vector<DWORD> ids = toolhelp.FindAllByName(name);
  if (ids.empty()) {
    lua_pushinteger(L, -1);
    return 1;
  }
  int pushed = 0;
  for (DWORD id : ids) {
    if (!lua_checkstack(L, 1)) break;
    lua_pushnumber(L, static_cast<lua_Number>(id));
    ++pushed;
  }
  return pushed;
}

int Lua_TaskKill(lua_State* L) {
  PostToWindowClass(L);
  return scriptargs::PushBoolean(L, EndNamedOrNumbered(L));
}

int Lua_KillAllTaskByName(lua_State* L) {
  return scriptargs::PushBoolean(L, EndNamedOrNumbered(L));
}

int Lua_GetImagePathByPid(lua_State* L) {
  const int index = FromEnd(L, 0);
  const DWORD pid = index ? static_cast<DWORD>(scriptargs::Integer(L, index)) : 0;
  std::wstring path;
  if (!ImageFileName(pid, path)) return 0;
  CZpkProcessToolHelp toolhelp;
  if (!toolhelp.DevicePathToDrivePath(path)) return 0;
  return scriptargs::PushText(L, path);
}
