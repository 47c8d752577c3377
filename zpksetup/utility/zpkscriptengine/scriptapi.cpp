#include "scriptapi.h"

#include <lua/lua.hpp>

#include "astring.h"
#include "dllmanager.h"
#include "rawbuffer.h"
#include "wstring.h"
#include "primitives/comregistration.h"
#include "primitives/extract.h"
#include "primitives/files.h"
#include "primitives/http.h"
#include "primitives/messages.h"
#include "primitives/processes.h"
#include "primitives/registry.h"
#include "primitives/services.h"
#include "primitives/shell.h"
#include "primitives/system.h"

namespace {

// A value-type module: opened with luaL_requiref, which also sets it as a global.
struct Module {
  const char* name;
  lua_CFunction open;
};

// Value types and the DLL bridge, in registration order (AString, WString, RawBuffer,
// DllManager); GLibTab follows them.
const Module kModules[] = {
    {"AString", luaopen_AString},
    {"WString", luaopen_WString},
    {"RawBuffer", luaopen_RawBuffer},
    {"DllManager", luaopen_DllManager},
    {nullptr, nullptr},
};

// The installation primitives, in registration order. The order is part of the script
// API: keep it, and enable each entry where its primitive is built.
const luaL_Reg kPrimitives[] = {
    {"Lua_UnCompress7z", Lua_UnCompress7z},
    {"Lua_RegSvr32", Lua_RegSvr32},
    {"Lua_RegistDll", Lua_RegistDll},
    {"Lua_RegQuery", Lua_RegQuery},
    {"Lua_RegAdd", Lua_RegAdd},
    {"Lua_RegDel", Lua_RegDel},
    {"Lua_CreateShortcut", Lua_CreateShortcut},
    {"Lua_CreateDirectory", Lua_CreateDirectory},
    {"Lua_CopyFile", Lua_CopyFile},
    {"Lua_MoveFile", Lua_MoveFile},
    {"Lua_RenameFile", Lua_RenameFile},
    {"Lua_DeleteFile", Lua_DeleteFile},
    {"Lua_DeleteFileEx", Lua_DeleteFileEx},
    {"Lua_Exec", Lua_Exec},
    {"Lua_ExplorerExec", Lua_ExplorerExec},
    {"Lua_TaskKill", Lua_TaskKill},
    {"Lua_SCM", Lua_SCM},
    {"Lua_RegVarByCSIDL", Lua_RegVarByCSIDL},
    {"Lua_ExtractResource", Lua_ExtractResource},
    {"Lua_GetOSVersion", Lua_GetOSVersion},
    {"Lua_Logout", Lua_Logout},
    {"Lua_MsgBox", Lua_MsgBox},
    {"Lua_DelFileRecursive", Lua_DelFileRecursive},
    {"Lua_DelFileRecursiveEx", Lua_DelFileRecursiveEx},
    {"Lua_DeleteFileAfterReboot", Lua_DeleteFileAfterReboot},
    {"Lua_IsWow64", Lua_IsWow64},
    {"Lua_GetProcessId", Lua_GetProcessId},
    {"Lua_ExitWindows", Lua_ExitWindows},
    {"Lua_GetModuleFileName", Lua_GetModuleFileName},
    {"Lua_GetCommandLineArgv", Lua_GetCommandLineArgv},
    {"Lua_EnablePrivilege", Lua_EnablePrivilege},
    {"Lua_GetTempFileName", Lua_GetTempFileName},
    {"Lua_GetTempPath", Lua_GetTempPath},
    {"Lua_ExpandEnv", Lua_ExpandEnv},
    {"Lua_GetImagePathByPid", Lua_GetImagePathByPid},
    {"Lua_GetDriverInstallPath", Lua_GetDriverInstallPath},
    {"Lua_KillAllTaskByName", Lua_KillAllTaskByName},
    {"Lua_PathFileExists", Lua_PathFileExists},
    {"Lua_PathYetAnotherMakeUniqueName", Lua_PathYetAnotherMakeUniqueName},
    {"Lua_ShellExec", Lua_ShellExec},
    {"Lua_HttpPost", Lua_HttpPost},
    {nullptr, nullptr},
};

}  // namespace

void RegisterScriptApi(lua_State* L) {
  for (const Module& m : kModules) {
    if (!m.name) break;
    luaL_requiref(L, m.name, m.open, 1);
    lua_pop(L, 1);
  }
  CreateGLibTab(L);
  for (const luaL_Reg& r : kPrimitives) {
    if (!r.name) break;
    lua_pushcfunction(L, r.func);
    lua_setglobal(L, r.name);
  }
}
