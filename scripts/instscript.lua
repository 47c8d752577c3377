-- The install script: what installing the configured product does to the machine. It runs
-- after the configuration chunk in the same script state; the installer calls its five
-- events. Every product-specific name comes from the configuration. Its chunk is compiled
-- from scriptbase.lua (helpers shared with the uninstall script), installsteps.lua (the
-- steps) and this file, in that order.

-- The defaults only installing needs, beside the shared ones scriptbase.lua derives.
local inner = global_product_name_inner
set_default("global_install_basepath", inner)
set_default("global_shortcut_name", global_product_name)
set_default("global_main_wnd_cls", "")  -- empty: no running-program check
set_default("global_union_id", 0)
set_default("global_enable_ss_install", true)
set_default("global_startuseexplorer_level", true)
set_default("global_firewall_app_name", global_main_app_name)
if global_assoc_extension ~= nil then
  set_default("global_assoc_verb", "open")
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
  log("step: the uninstaller's scripts")
  Lua_ExtractResource("LUA", "GLOBAL_VAR.LUAC", global_install_path .. "\\Uninst.dar0")
  Lua_ExtractResource("LUA", "UNINSTSCRIPT.LUAC", global_install_path .. "\\Uninst.dar1")
end

function ZPKSE_OnInstall()
  local extensions = shell_extensions()
  log("step: ending the product's service, processes and shell extensions")
  stop_running_product(extensions)

  log("step: payload extraction")
  extract_payload()
  log("step: helper library, certificate and registry records")
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

  reg_add_list = build_reg_add_list(oem_union_id)
  apply_records(reg_add_list)
  apply_records(global_custom_reg_list)

  log("step: shell: folder rights, shortcuts, extensions, associations")
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

  log("step: usage records and clean-up")
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
  log("step: firewall rules, service, starting the program (/s)")
  add_firewall_rule()
  service_start()
  RunApp()
  log("step: install report")
  UpInfomession()
end

function ZPKSE_AfterComplete()
end
