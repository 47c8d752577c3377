-- What the install and the uninstall script share. Each of the two chunks is compiled from
-- this source first and its own after it (luac-style, one chunk of several sources), so
-- everything here that the others use is global: a local would not reach them. It runs
-- after the configuration chunk, in the same script state.

function log(text)
  Lua_Logout(tostring(text))
end

function is_set(value)
  return value ~= nil and value ~= ""
end

-- A configured list: a table as it is, a single string as a list of one.
function list_of(value)
  if type(value) == "table" then return value end
  if is_set(value) then return {value} end
  return {}
end

-- Defaults for what a configuration leaves unset, derived from the five values it must
-- give (global_product_name, global_product_name_inner, global_main_app_name,
-- global_company_name, global_version). They are set when the chunk runs, before the
-- host reads any of them. These are the ones both scripts need; the install script
-- derives its own after them.
function set_default(name, value)
  if _G[name] == nil then _G[name] = value end
end
local inner = global_product_name_inner
set_default("global_reg_sub_key", "SOFTWARE\\" .. inner)
set_default("global_uninst_sub_key", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" .. inner)
set_default("global_old_product_name", global_product_name)
set_default("global_main_app_name_inner", global_main_app_name)
set_default("global_app_id", 0)
set_default("global_udp_un_install_port", 8100)
set_default("global_kill_process_list", {global_main_app_name_inner})
if global_assoc_extension ~= nil then
  set_default("global_assoc_progid", inner .. ".File")
end

-- File-system redirection for a 32-bit program on 64-bit Windows.
fsredir = {}
fsredir.IsNeed = Lua_GetOSVersion() > 5 and Lua_IsWow64() == true
fsredir.Wow64DisableWow64FsRedirection = GLibTab.kernel32:Get("Wow64DisableWow64FsRedirection", "int")
fsredir.Wow64RevertWow64FsRedirection = GLibTab.kernel32:Get("Wow64RevertWow64FsRedirection", "int")
if fsredir.IsNeed then
  fsredir.pOld = RawBuffer.New(4)
  function fsredir:Disable()
    self.Wow64DisableWow64FsRedirection(self.pOld)
  end
  function fsredir:Revert()
    self.Wow64RevertWow64FsRedirection(self.pOld:OffsetGetAsUInt32(0))
  end
else
  function fsredir:Disable() end
  function fsredir:Revert() end
end

-- Logged, so that the install log shows what fixed pauses cost.
function Sleep(ms)
  log("pause: " .. ms .. " ms")
  GLibTab.Kernel32:Get("Sleep")(ms)
end

function paht_remove_filename(path)
  return string.match(path, "^(%a:\\.+)\\[^\\]*$") or path:sub(1, 3)
end

function DeleteFileAndDirect(path, flag)
  if path == nil then return end
  if flag then
    Lua_DelFileRecursive(path, function() end)
  else
    Lua_DelFileRecursive(path)
  end
end

-- The product's service: its name and the program in the installation directory that
-- installs it when started with "--install". Off unless both are configured.
function service_configured()
  if is_set(global_service_name) and is_set(global_service_app_name) then return true end
  log("no service configured (global_service_name, global_service_app_name): service step skipped")
  return false
end

-- Stops and deletes the product's service and ends its process. The kill loop is
-- bounded: a process that cannot be ended must not hang the installation or the removal.
function service_stop()
  if not service_configured() then return end
  local stop, delete = "/C sc stop " .. global_service_name, "/C sc delete " .. global_service_name
  if Lua_ShellExec("cmd.exe", stop) then log(stop) end
  if Lua_ShellExec("cmd.exe", delete) then log(delete) end
  local process = global_service_app_name:match("[^\\]+$")
  for _ = 1, 50 do
    local pid = Lua_GetProcessId(process)
    log(string.format("pid:%d", pid))
    if pid == -1 then return end
    Lua_TaskKill(pid, nil)
    Sleep(100)
  end
end
