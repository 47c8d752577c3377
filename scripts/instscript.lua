-- The install script: what installing the configured product does to the machine. It runs
-- after the configuration chunk in the same script state; the installer calls its five
-- events. Every product-specific name comes from the configuration.

local function log(text)
  Lua_Logout(tostring(text))
end

-- Defaults for what a configuration leaves unset, derived from the five values it must
-- give (global_product_name, global_product_name_inner, global_main_app_name,
-- global_company_name, global_version). They are set when the chunk runs, before the
-- installer reads any of them. The uninstall script derives the same ones.
local function default(name, value)
  if _G[name] == nil then _G[name] = value end
end
local inner = global_product_name_inner
default("global_install_basepath", inner)
default("global_reg_sub_key", "SOFTWARE\\" .. inner)
default("global_uninst_sub_key", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" .. inner)
default("global_shortcut_name", global_product_name)
default("global_old_product_name", global_product_name)
default("global_main_app_name_inner", global_main_app_name)
default("global_main_wnd_cls", "")  -- empty: no running-program check
default("global_union_id", 0)
default("global_app_id", 0)
default("global_enable_ss_install", true)
default("global_startuseexplorer_level", true)
default("global_udp_un_install_port", 8100)
default("global_kill_process_list", {global_main_app_name_inner})
default("global_firewall_app_name", global_main_app_name)
if global_assoc_extension ~= nil then
  default("global_assoc_progid", inner .. ".File")
  default("global_assoc_verb", "open")
end
-- Without an application id the engine's built-in mutex name would be shared by every
-- such product: one installer would keep another from running.
if global_install_mutex_guid == nil and (global_app_id or 0) == 0 then
  global_install_mutex_guid = "Global\\{A043B702-166A-4FB8-9733-E2BC4713F36F}" .. inner
end

local SCRIPT_VERSION = "1.0.0.2"
local dialog_caption = string.format("%s - 安装", global_product_name)
local oem_union_id = 26100
local locked_file_folder = Lua_ExpandEnv("%TMP%")
local previous_union_id = 0
local run_to_tray = false

is_upgrade = false
global_ss_install = false
global_ss_run = false

local function is_set(value)
  return value ~= nil and value ~= ""
end

-- A configured list: a table as it is, a single string as a list of one.
local function list_of(value)
  if type(value) == "table" then return value end
  if is_set(value) then return {value} end
  return {}
end

-- File-system redirection for a 32-bit installer on 64-bit Windows.
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

function Sleep(ms)
  GLibTab.Kernel32:Get("Sleep")(ms)
end

function Split(s, sep)
  log("FullString:" .. s)
  local list, count, pos = {}, 0, 1
  while true do
    local first, last = string.find(s, sep, pos, true)
    if not first then break end
    count = count + 1
    list[count] = s:sub(pos, first - 1)
    pos = last + 1
  end
  count = count + 1
  list[count] = s:sub(pos)
  return list, count
end

-- The last path component.
local function file_name(path)
  return string.match(path, ".*\\([^\\]+.*)$") or path
end

-- The last path component without its extension.
local function base_name(path)
  local component = string.match(path, ".+\\([^\\]*%.%w+)$")
  if not component then return file_name(path) end
  local dot = string.match(component, ".+()%.%w+$")
  return dot and component:sub(1, dot - 1) or component
end

function InitCommandLineArgv_new()
  local argv = Lua_GetCommandLineArgv()
  if type(argv) ~= "table" then return end
  for _, arg in ipairs(argv) do
    local head5, head6 = arg:sub(1, 5), arg:sub(1, 6)
    if arg == "/s" or arg == "-s" then
      if global_enable_ss_install then
        global_ss_install = true
        global_ss_run = true
        global_show_completewindow = false
      end
    elseif arg == "/sUpdate" or arg == "-sUpdate" or arg == "/srvUpdate" then
      global_ss_install = true
      global_show_completewindow = false
      run_to_tray = true
    elseif arg == "/hd" then
      DesktopShortcutChk = false
    elseif arg == "/NormalUpdate" then
      is_upgrade = true
    elseif arg == "/ForceUpdate" then
      is_upgrade = true
      global_show_completewindow = false
    elseif head5 == "-uid=" or head5 == "-uid:" or head5 == "/uid:" then
      global_union_id = tonumber(arg:sub(6))
    elseif head6 == "-path=" or head6 == "-path:" or head6 == "/path:" then
      global_install_path = arg:sub(7)
    end
  end
end

function AnalyzeParam()
  if global_disable_analyze_params_from_file_name ~= false then return end
  local fields, count = Split(base_name(Lua_GetModuleFileName()), "_")
  if count ~= 3 or fields[1]:lower() ~= tostring(global_product_name_inner):lower() then return end
  local union_id = tonumber(fields[2])
  if not union_id or union_id < 26100 or union_id >= 26199 then return end
  global_union_id = union_id
  replace_union_id = union_id
  log("union_id:-----------2" .. union_id)
  if fields[3]:sub(1, 2) == "hd" then DesktopShortcutChk = false end
end

-- Statistics are off when the configuration names no report address: nothing is looked
-- up and nothing is sent.
local function statistics_on()
  return is_set(global_udp_install_uninstall_url) or is_set(global_install_PostURL)
end

function InstallReport(versions, union_id, app_id)
  log("start install report info")
  local path = global_install_path .. "\\rmstat.dll"
  local dll = GLibTab[path]
  assert(dll ~= nil, "LoadLibrary " .. path .. " failed")
  local function bind(name, result_type)
    local fn, err = dll:Get(name, result_type)
    assert(fn ~= nil, "GetProcAddress \"" .. name .. "\" failed, errcode : " .. tostring(err))
    return fn
  end
  bind("stat_unionid")(union_id)
  bind("stat_appid")(app_id)
  bind("stat_level")(2)
  bind("stat_version_ex")(versions[1], versions[2], versions[3], versions[4])
  bind("stat_install_addr")(global_udp_install_uninstall_url, global_udp_un_install_port)
  if not bind("stat_init", "bool")() then
    log("stat_init failed!")
    return false
  end
  log(global_udp_install_uninstall_url)
  local kind = 1
  if previous_union_id ~= 0 then
    log("cover install!!!")
    kind = 3
  end
  bind("stat_install", "int")(kind)
  local result = bind("stat_http_post", "int")(global_install_PostURL, nil, 0, true)
  log(global_install_PostURL)
  bind("stat_close")(50)
  dll:UnLoad()
  GLibTab[path] = nil
  return result == 1
end

-- The product's service: its name and the program in the installation directory that
-- installs it when started with "--install". Off unless both are configured.
local function service_configured()
  if is_set(global_service_name) and is_set(global_service_app_name) then return true end
  log("no service configured (global_service_name, global_service_app_name): service step skipped")
  return false
end

-- Stops and deletes the product's service and ends its process. The kill loop is
-- bounded: a process that cannot be ended must not hang the installation.
local function service_stop()
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

local function service_start()
  if not service_configured() then return end
  Lua_Exec(global_install_path .. "\\" .. global_service_app_name, nil, "--install", true)
end

function GetCurrentUnionID()
  local value = Lua_RegQuery("HKCU", global_reg_sub_key, "UnionId")
  log("union_id=" .. tostring(value))
  if value == nil then
    value = Lua_RegQuery("HKLM", global_reg_sub_key, "UnionId")
    log("union_id=" .. tostring(value))
  end
  return tonumber(value) or 0
end

function CheckUnionID()
  return GetCurrentUnionID() == global_union_id
end

function GetUnionByPkgName()
  return string.match(file_name(Lua_GetModuleFileName()), "^.*_.*%-(%d+).*%..*$")
end

function paht_remove_filename(path)
  return string.match(path, "^(%a:\\.+)\\[^\\]*$") or path:sub(1, 3)
end

function analy_filename_with_ss_param()
  local name = base_name(Lua_GetModuleFileName())
  log("analy_filename_with_ss_param:stAppName " .. name)
  local lower = name:lower()
  if lower:find("@st", 1, true) then
    global_ss_install = true
    global_ss_run = true
  end
  if lower:find("@stt", 1, true) then
    global_ss_install = true
    global_ss_run = false
  end
end

function analy_filename_with_shortcut_param()
  local lower = base_name(Lua_GetModuleFileName()):lower()
  local function has(marker) return lower:find(marker, 1, true) ~= nil end
  if has("@dto") then DesktopShortcutChk = true end
  if has("@dtc") then DesktopShortcutChk = false end
  if has("@smo") then StartMenuShortcutChk = true end
  if has("@smc") then StartMenuShortcutChk = false end
  if has("@qlo") then QuickLaunchChk = true end
  if has("@qlc") then QuickLaunchChk = false end
end

-- Whether this start asks for a silent run, as ZPKSE_BeforeInit will decide it (switches,
-- file-name markers, configuration). The installer reads it before that event when
-- another installation of the product holds the instance mutex: a silent start then ends
-- with 1618 (another installation is running), for its caller to retry later.
local function asks_for_silent_run()
  local argv = Lua_GetCommandLineArgv()
  for _, a in ipairs(type(argv) == "table" and argv or {}) do
    if a == "/sUpdate" or a == "-sUpdate" or a == "/srvUpdate" then return true end
    if (a == "/s" or a == "-s") and global_enable_ss_install then return true end
  end
  if global_enable_ss_install ~= true then return false end
  if global_default_ss_install == true then return true end
  return base_name(Lua_GetModuleFileName()):lower():find("@st", 1, true) ~= nil
end
silent_requested = asks_for_silent_run()

function FindWnd(class, title)
  local find_window = GLibTab.User32:Get("FindWindowW", "int")
  local hwnd = find_window(class and WString.New(nil, class) or nil, title and WString.New(nil, title) or nil)
  return hwnd
end

function CheckClient()
  if global_ss_install then return end
  if not is_set(global_main_wnd_cls) then return end
  if FindWnd(global_main_wnd_cls, nil) == 0 then return end
  local text = string.format("检测到 %s 正在运行\r\n选择[确定]强制关闭，[取消]取消安装", global_product_name)
  if Lua_MsgBox(text, dialog_caption, 0x10031) == 1 then return end
  os.exit(1602)  -- the user declined: cancelled
end

function checkShellExt(path)
  if not Lua_PathFileExists(path) then return end
  log(path .. "  check!!!")
  Lua_RegistDll(path, "/u /s", false)
  if Lua_DeleteFileEx(path) == true then return end
  log(path .. "  Delete Failed!!!")
  local tmp = Lua_PathYetAnotherMakeUniqueName(Lua_GetTempPath() .. "\\sha000001.tmp")
  log(tmp .. "  generate tmpfile")
  if Lua_MoveFile(path, tmp) then
    Lua_DeleteFileAfterReboot(tmp)
    restart_needed = true
  else
    log(path .. "  move to tmp Failed!!!")
  end
end

-- The shell extension DLLs this installer registers: the 64-bit ones for a 32-bit
-- installer on 64-bit Windows, the installer's own kind otherwise.
local function shell_extensions()
  local list = list_of(Lua_IsWow64() and global_shell_ext_dlls_wow64 or global_shell_ext_dlls)
  if #list == 0 then log("no shell extension configured (global_shell_ext_dlls): step skipped") end
  return list
end

function DeleteFileAndDirect(path, flag)
  if path == nil then return end
  if flag then
    Lua_DelFileRecursive(path, function() end)
  else
    Lua_DelFileRecursive(path)
  end
end

-- The extraction's error callback: a payload file that cannot be created (in use) is moved
-- aside into `folder`, to be deleted at the next restart, and created once more. Global,
-- so that the fault tests drive this very handler.
function move_aside_handler(folder)
  return function(file, code)
    log(file .. string.format("  创建文件出错:%d", code))
    local tmp = Lua_PathYetAnotherMakeUniqueName(Lua_GetTempFileName(folder, "QmZip"))
    log(tmp)
    if Lua_MoveFile(file, tmp) then
      Lua_DeleteFileAfterReboot(tmp)
      -- The old file goes at the next restart: the host answers 3010.
      restart_needed = true
      return 0
    end
    return 2
  end
end

function UpInfomession()
  report_union_id = global_union_id
  if previous_union_id ~= 0 then report_union_id = previous_union_id end
  if not statistics_on() then
    log("statistics off: no report address configured")
    return
  end
  InstallReport(global_tb_version, report_union_id, global_app_id)
end

function RunApp()
  if not (global_enable_ss_install and global_ss_install) then return end
  local program = global_install_path .. "\\" .. global_main_app_name
  if global_ss_run then
    Lua_ExplorerExec(program, "")
  elseif run_to_tray then
    log("bRunTray")
    Lua_RegAdd("HKCU", global_reg_sub_key, "RunToTray", "REG_DWORD", 1, true)
    Lua_ExplorerExec(program, "")
  end
end

-- Replaces the firewall rules named global_firewall_rule_name that let the program
-- global_firewall_app_name through, both ways. Off when no rule name is configured.
function add_firewall_rule()
  if not is_set(global_firewall_rule_name) then
    log("no firewall rule configured (global_firewall_rule_name): step skipped")
    return
  end
  log("add_firewall_rule")
  local netsh = "%windir%\\system32\\netsh.exe"
  local name = "\"" .. global_firewall_rule_name .. "\""
  local program = "\"" .. global_install_path .. "\\" .. global_firewall_app_name .. "\""
  Lua_Exec(netsh, nil, "advfirewall firewall delete rule name=" .. name, true)
  Lua_Exec(netsh, nil, "advfirewall firewall add rule name=" .. name .. " dir=in program=" .. program .. " action=allow", true)
  Lua_Exec(netsh, nil, "advfirewall firewall add rule name=" .. name .. " dir=out program=" .. program .. " action=allow", true)
  log("add_firewall_rule end")
end

-- The file association: the main program does it itself when started with
-- global_assoc_app_args; an extension (global_assoc_extension, one or a list) is
-- registered under HKCU\Software\Classes with the ProgId and verb configured. Off when
-- neither is configured.
local function associate()
  local extensions = list_of(global_assoc_extension)
  if not is_set(global_assoc_app_args) and #extensions == 0 then
    log("no file association configured (global_assoc_extension, global_assoc_app_args): step skipped")
    return
  end
  if is_set(global_assoc_app_args) then
    Lua_Exec(main_app_fullpath, nil, global_assoc_app_args, true)
  end
  if #extensions == 0 then return end
  local classes, progid = "Software\\Classes\\", global_assoc_progid
  Lua_RegAdd("HKCU", classes .. progid, "", "REG_SZ", global_product_name, true)
  Lua_RegAdd("HKCU", classes .. progid .. "\\DefaultIcon", "", "REG_SZ", "\"" .. main_app_fullpath .. "\",0", true)
  Lua_RegAdd("HKCU", classes .. progid .. "\\shell\\" .. global_assoc_verb .. "\\command", "", "REG_SZ",
    "\"" .. main_app_fullpath .. "\" \"%1\"", true)
  for _, extension in ipairs(extensions) do
    Lua_RegAdd("HKCU", classes .. extension, "", "REG_SZ", progid, true)
  end
  -- Explorer reads associations again (SHCNE_ASSOCCHANGED).
  GLibTab.shell32:Get("SHChangeNotify", "void")(0x08000000, 0, 0, 0)
end

local function build_reg_add_list()
  local P, U, cover = global_reg_sub_key, global_uninst_sub_key, global_cover_unionId
  local function rec(hkey, subkey, value, datatype, data, overwrite)
    return {hkey = hkey, subkey = subkey, value = value, datatype = datatype, data = data, overwrite = overwrite}
  end
  return {
    rec("HKLM", P, "AppPath", "REG_SZ", global_install_path, true),
    rec("HKLM", P, "UnionId", "REG_DWORD", global_union_id, cover),
    rec("HKLM", P, "OEMUnionId", "REG_DWORD", oem_union_id, cover),
    rec("HKLM", P, "OemID", "REG_DWORD", 1, true),
    rec("HKLM", P, "UserID", "REG_BINARY", 0, true),
    rec("HKCU", P, "AppPath", "REG_SZ", global_install_path, true),
    rec("HKCU", P, "UnionId", "REG_DWORD", global_union_id, cover),
    rec("HKCU", P, "OEMUnionId", "REG_DWORD", oem_union_id, cover),
    rec("HKCU", P, "OemID", "REG_DWORD", 1, true),
    rec("HKCU", P, "UserID", "REG_BINARY", 0, true),
    rec("HKCU", P, "DisplayVersion", "REG_SZ", global_version, true),
    rec("HKCU", P, "Version", "REG_DWORD", global_dwversion, true),
    rec("HKLM", U, "DisplayIcon", "REG_SZ", main_app_fullpath, true),
    rec("HKLM", U, "DisplayName", "REG_SZ", global_product_name, true),
    rec("HKLM", U, "DisplayVersion", "REG_SZ", global_version, true),
    rec("HKLM", U, "EstimatedSize", "REG_DWORD", global_need_disk_space / 1024, true),
    rec("HKLM", U, "NoModify", "REG_DWORD", 1, true),
    rec("HKLM", U, "NoRepair", "REG_DWORD", 1, true),
    rec("HKLM", U, "Publisher", "REG_SZ", global_company_name, true),
    rec("HKLM", U, "UninstallString", "REG_SZ", global_install_path .. "\\Uninstall.exe", true),
    rec("HKLM", U, "InstallLocation", "REG_SZ", global_install_path, true),
    rec("HKLM", U, "InstallDate", "REG_SZ", os.date("%Y%m%d"), true),
    -- Lets package managers remove the product without questions.
    rec("HKLM", U, "QuietUninstallString", "REG_SZ", "\"" .. global_install_path .. "\\Uninstall.exe\" /S", true),
  }
end

local function apply_records(list)
  for _, r in ipairs(list) do
    Lua_RegAdd(r.hkey, r.subkey, r.value, r.datatype, r.data, r.overwrite)
  end
end

-- A folder an earlier installation recorded: only an absolute path counts. A value of
-- another type (a number) or an empty one would become a relative target folder.
local function recorded_folder(root, key, name)
  local value = Lua_RegQuery(root, key, name)
  if type(value) == "string" and (value:match("^%a:\\") or value:match("^\\\\")) then
    return value
  end
  return nil
end

function ZPKSE_BeforeInit()
  log("script_version:" .. SCRIPT_VERSION)
  if Lua_GetOSVersion() < 6 then
    Lua_MsgBox(global_product_name .. " 目前只支持WIN7和更新的Windows操作系统！")
    os.exit(0)
  end
  previous_union_id = GetCurrentUnionID()
  local oem = GetUnionByPkgName()
  if oem then oem_union_id = tonumber(oem) or oem_union_id end
  global_install_path = recorded_folder("HKLM", global_uninst_sub_key, "InstallLocation")
    or recorded_folder("HKLM", global_reg_sub_key, "AppPath")
    or recorded_folder("HKCU", global_reg_sub_key, "AppPath")
  if global_disable_cover == true and CheckUnionID() and global_install_path ~= nil then
    os.exit(0)
  end
  if global_disable_analyze_params_from_file_name == false then AnalyzeParam() end
  InitCommandLineArgv_new()
  if global_install_path == nil then
    local base = fsredir.IsNeed and Lua_ExpandEnv("%ProgramFiles(x86)%\\") or Lua_ExpandEnv("%ProgramFiles%\\")
    global_install_path = base .. global_install_basepath
  end
  if global_need_disk_space == nil then global_need_disk_space = 20048128 end
  if global_startup_check_visable == nil then global_startup_check_visable = true end
  if global_startup_check == nil then global_startup_check = true end
  if global_enable_ss_install == true then
    if global_default_ss_install == true then
      global_ss_install = true
      global_ss_run = true
    else
      analy_filename_with_ss_param()
    end
  end
  if global_custom_reg_list == nil then global_custom_reg_list = {} end
  if global_show_completewindow == nil then global_show_completewindow = true end
  if DesktopShortcutChk == nil then DesktopShortcutChk = true end
  if StartMenuShortcutChk == nil then StartMenuShortcutChk = true end
  if QuickLaunchChk == nil then QuickLaunchChk = true end
  if FileAssoChk == nil then FileAssoChk = true end
  if global_ss_install then analy_filename_with_shortcut_param() end
end

function ZPKSE_BeforeInstall()
  CheckClient()
  global_tb_version = {}
  for n in string.gmatch(global_version, "(%d+)|*") do
    global_tb_version[#global_tb_version + 1] = tonumber(n)
  end
  local v = global_tb_version
  global_dwversion = (((v[1] or 0) * 100 + (v[2] or 0)) * 100 + (v[3] or 0)) * 10000 + (v[4] or 0)
  log(tostring(InstallPath))
  global_install_path = InstallPath
  Lua_CreateDirectory(global_install_path)
end

-- Ends what would hold the product's files: the service, the configured processes, and
-- the shell extensions loaded into Explorer.
local function stop_running_product(extensions)
  service_stop()
  for _, name in ipairs(list_of(global_kill_process_list)) do
    Lua_KillAllTaskByName(name)
  end
  Sleep(2000)
  for _, dll in ipairs(extensions) do
    checkShellExt(global_install_path .. "\\" .. dll)
  end
end

-- Unpacks the payload and the uninstaller's chunks. A failed extraction is no success:
-- the installation ends here.
local function extract_payload()
  if locked_file_folder:sub(1, 1):lower() ~= global_install_path:sub(1, 1):lower() then
    locked_file_folder = paht_remove_filename(global_install_path) .. "\\del_reboot"
    Lua_CreateDirectory(locked_file_folder)
  end

  if not Lua_UnCompress7z("App.7z", global_install_path, false, nil, move_aside_handler(locked_file_folder)) then
    -- A failed extraction is no success: the caller sees exit code 1603 (fatal error),
    -- and a silent run only logs it, since nobody may be there to answer a box.
    if global_ss_install then
      log("释放文件时出现错误，安装程序将终止！")
    else
      Lua_MsgBox("释放文件时出现错误，安装程序将终止！", dialog_caption)
    end
    os.exit(1603)
  end
  Lua_ExtractResource("LUA", "GLOBAL_VAR.LUAC", global_install_path .. "\\Uninst.dar0")
  Lua_ExtractResource("LUA", "UNINSTSCRIPT.LUAC", global_install_path .. "\\Uninst.dar1")
end

-- The desktop and Start-menu shortcuts the user chose.
local function create_shortcuts(helper)
  if DesktopShortcutChk then
    helper:Get("CreateDesktopShortcut", "void")(WString.New(nil, main_app_fullpath),
      WString.New(nil, global_main_wnd_cls), WString.New(nil, global_product_name))
  end

  if StartMenuShortcutChk then
    local folder = "%COMMPROGRAMS%\\" .. global_product_name
    DeleteFileAndDirect(folder, true)
    Lua_DeleteFile(folder)
    fsredir:Revert()
    local name = global_product_name
    Lua_CreateShortcut(main_app_fullpath, string.format("%s\\%s\\%s.lnk", "%COMMPROGRAMS%", name, name), "/menu", nil)
    Lua_CreateShortcut(global_install_path .. "\\Uninstall.exe",
      string.format("%s\\%s\\卸载%s.lnk", "%COMMPROGRAMS%", name, name), "", nil)
    Lua_RegAdd("HKCU", global_reg_sub_key, "StartMenuShortcutChk", "REG_DWORD", 1, true)
  else
    Lua_RegAdd("HKCU", global_reg_sub_key, "StartMenuShortcutChk", "REG_DWORD", 0, true)
  end
end

-- The helper DLL's usage record.
local function record_usage(helper)
  -- The helper records under the product's own key (an older helper without the export
  -- has its own).
  local set_product_key = helper:Get("SetProductKey", "void")
  if set_product_key then set_product_key(WString.New(nil, global_reg_sub_key)) end
  helper:Get("SetUsageCount", "void")(WString.New(nil, global_conf_url), WString.New(nil, global_version),
    WString.New(nil, tostring(global_app_id or "")), WString.New(nil, tostring(global_union_id or "")),
    WString.New(nil, global_reg_guid))
end

function ZPKSE_OnInstall()
  local extensions = shell_extensions()
  stop_running_product(extensions)

  extract_payload()
  main_app_fullpath = global_install_path .. "\\" .. global_main_app_name

  local helper_path = string.format("%s\\%s", global_install_path, "func_helper.dll")
  local helper = GLibTab[helper_path]
  if helper:Get("IsOSWin7", "bool")() then log("Win7") end
  if is_set(global_certificate_file) then
    local cert = global_install_path .. "\\" .. global_certificate_file
    if helper:Get("ImportCertificate", "bool")(WString.New(nil, cert)) then log("ImportCert OK") end
    Lua_DeleteFile(cert)
  else
    log("no certificate configured (global_certificate_file): step skipped")
  end

  if Lua_RegQuery("HKCU", global_reg_sub_key, "MerchantID") == "" then
    Lua_RegDel("HKCU", global_reg_sub_key, "MerchantID")
  end
  local first_install = Lua_RegQuery("HKLM", global_reg_sub_key, "AppPath") == nil
    and Lua_RegQuery("HKCU", global_reg_sub_key, "AppPath") == nil
  if first_install and global_merchant_id then
    Lua_RegAdd("HKCU", global_reg_sub_key, "MerchantID", "REG_SZ", global_merchant_id, global_merchant_id_overwrite)
  end

  reg_add_list = build_reg_add_list()
  apply_records(reg_add_list)
  apply_records(global_custom_reg_list)

  fsredir:Disable()
  Lua_RegVarByCSIDL("COMMPROGRAMS", 23)
  Lua_RegVarByCSIDL("DESKTOP", 16)
  helper:Get("AllowAccountPrivilege", "bool")(WString.New(nil, global_install_path))
  log("ZPKSE_OnInstall_8")
  Lua_DeleteFile("%DESKTOP%\\" .. global_old_product_name .. ".lnk")

  for _, dll in ipairs(extensions) do
    Lua_RegistDll(global_install_path .. "\\" .. dll, "/i /s", false)
  end

  create_shortcuts(helper)

  if FileAssoChk then associate() end

  record_usage(helper)
  helper:UnLoad()
  GLibTab[helper_path] = nil

  fsredir:Revert()
  if global_create_log_folder == true then
    Lua_CreateDirectory(global_install_path .. "\\log")
  end
  if locked_file_folder ~= Lua_ExpandEnv("%TMP%") then
    Lua_DelFileRecursive(locked_file_folder)
    Lua_DeleteFileAfterReboot(locked_file_folder)
  end
end

function ZPKSE_BeforeComplete()
  if is_upgrade == true and global_show_completewindow == false then
    Lua_ExplorerExec(global_install_path .. "\\" .. global_main_app_name, "")
  end
  add_firewall_rule()
  service_start()
  RunApp()
  UpInfomession()
end

function ZPKSE_AfterComplete()
end
