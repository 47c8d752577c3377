-- Processes, services and system primitives as the install scripts call them, in the
-- script runner. Arguments: arch, scripts folder, helper programs folder.
local arch, helpers = arg[1], (arg[3] or ""):gsub("/", "\\")

for _, name in ipairs{"Lua_RegSvr32", "Lua_RegistDll", "Lua_TaskKill", "Lua_SCM",
                      "Lua_GetOSVersion", "Lua_Logout", "Lua_MsgBox", "Lua_IsWow64",
                      "Lua_GetProcessId", "Lua_ExitWindows", "Lua_GetModuleFileName",
                      "Lua_GetCommandLineArgv", "Lua_EnablePrivilege", "Lua_GetImagePathByPid",
                      "Lua_GetDriverInstallPath", "Lua_KillAllTaskByName"} do
  assert(type(_G[name]) == "function", name)
end

-- The install script's checks: refuse below 6, redirection only above 5.
assert(Lua_GetOSVersion() == 6, Lua_GetOSVersion())
assert(Lua_IsWow64() == (arch == "i686"), tostring(Lua_IsWow64()))

-- A program that is not running: -1, handed straight on, is nothing to end.
assert(Lua_GetProcessId("zpk-nobody.exe") == -1)
assert(Lua_TaskKill(Lua_GetProcessId("zpk-nobody.exe"), nil) == true)
assert(Lua_KillAllTaskByName("zpk-nobody.exe") == true)

-- The runner finds itself, and its image path is the module path.
local me = Lua_GetModuleFileName()
assert(me:lower():match("\\zpklua%.exe$"), me)
local seen = false
for _, id in ipairs{Lua_GetProcessId("ZPKLUA.EXE")} do
  local image = Lua_GetImagePathByPid(id)
  if image and image:lower() == me:lower() then seen = true end
end
assert(seen, "own image path")

local argv = Lua_GetCommandLineArgv()
assert(type(argv) == "table" and argv[#argv] == arg[#arg], tostring(argv[#argv]))

assert(Lua_SCM("ZpkNoSuchServiceHere", "stop") == true)
assert(select("#", Lua_Logout("systemprims script note")) == 0)
local path = Lua_GetDriverInstallPath()
assert(path:sub(2, 2) == ":" and path:sub(-1) == "\\", path)
assert(Lua_EnablePrivilege("SeShutdownPrivilege", true) == true)
assert(Lua_EnablePrivilege("SeNoSuchPrivilege", true) == false)

assert(Lua_RegSvr32(helpers .. "\\regprobe.dll", true) == true)
assert(Lua_RegSvr32(helpers .. "\\regprobe.dll", false) == true)
assert(Lua_RegSvr32(helpers .. "\\no-such.dll", true) == false)
print("systemprims ok")
