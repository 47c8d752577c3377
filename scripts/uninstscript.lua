-- The uninstall script: what removing the configured product does to the machine. The
-- product's uninstaller runs it after the configuration chunk and calls its four events.
-- Every product-specific name comes from the configuration. Its chunk is compiled from
-- scriptbase.lua (helpers and defaults shared with the install script) and this file.

local SCRIPT_VERSION = "1.0.2.55"
local stat = nil            -- statistics binding
local stat_dll_copy = nil   -- the statistics DLL copied beside the uninstaller
local locked_file_folder = Lua_ExpandEnv("%TMP%")
local versions = {}

-- Statistics are off when the configuration names no report address: the statistics
-- library is not even loaded, so nothing is looked up and nothing is sent.
local function statistics_on()
  return is_set(global_udp_install_uninstall_url) or is_set(global_Uninstall_PostURL)
    or is_set(global_Uninstall_ReasonURL)
end

function Lua_Sleep(ms)
  lib = GLibTab.Kernel32
  my_Sleep = lib and lib:Get("Sleep")
  if lib and my_Sleep then my_Sleep(ms) end
end

function CheckPathExist(path)
  local exists = GLibTab.Shlwapi:Get("PathFileExistsW", "int")
  if not exists then return 0 end
  return exists(WString.New(nil, path)) ~= 0 and 1 or 0
end

function GetUnionID()
  global_union_id = tonumber(Lua_RegQuery("HKCU", global_reg_sub_key, "UnionId"))
    or tonumber(Lua_RegQuery("HKLM", global_reg_sub_key, "UnionId"))
    or 1
  log(global_union_id)
end

function CreateSubtatModule()
  local lib = GLibTab[stat_dll_copy]
  if not lib then return {} end
  local binding = {lib = lib}
  for _, e in ipairs{{"stat_init", "bool"}, {"stat_level"}, {"stat_unionid"}, {"stat_appid"},
                     {"stat_install", "int"}, {"stat_version_ex"}, {"stat_install_addr"},
                     {"stat_close"}, {"stat_http_post", "int"}} do
    binding[e[1]] = lib:Get(e[1], e[2])
  end
  return binding
end

local function has_binding()
  return stat ~= nil and stat.lib ~= nil
end

function InitSubStat()
  if not has_binding() then return false end
  if not stat.stat_init() then
    log("stat_init failed!")
    return false
  end
  stat.stat_level(2)
  stat.stat_unionid(tonumber(global_union_id))
  stat.stat_appid(global_app_id)
  stat.stat_install_addr(global_udp_install_uninstall_url, tonumber(global_udp_un_install_port))
  stat.stat_version_ex(versions[1], versions[2], versions[3], versions[4])
  log(global_udp_install_uninstall_url)
end

function UninstallReport()
  if not has_binding() then return false end
  stat.stat_install(2)
  stat.stat_http_post(global_Uninstall_PostURL, nil, 0, true)
  log(global_Uninstall_PostURL)
end

function UninstallReason(text)
  if not has_binding() then return false end
  stat.stat_install(2)
  stat.stat_http_post(global_Uninstall_ReasonURL, text, #text, true)
  log("report reason" .. tostring(global_Uninstall_ReasonURL))
end

-- Text placed inside a JSON string: whatever the user typed, the document stays valid.
local function json_escape(text)
  return (tostring(text):gsub('[%c"\\]', function(c)
    local named = {['"'] = '\\"', ['\\'] = '\\\\', ['\n'] = '\\n', ['\r'] = '\\r', ['\t'] = '\\t'}
    return named[c] or string.format("\\u%04x", c:byte())
  end))
end

function FeedBack()
  if tbContact == nil and ReasonID == nil then return end
  local contact = tostring(tbContact or ""):gsub("%s", "")
  local suggest = tostring(tbSuggest or ""):gsub("%s", "")
  uninstreason = string.format(
    '{"come_from":32772, "content_ids":"%s", "uninstsuggest":"%s","contact":"%s"}',
    json_escape(tostring(ReasonID)), json_escape(suggest), json_escape(contact))
  UninstallReason(uninstreason)
end

-- Stops and deletes the service exactly as installing does.
function UninstallService()
  service_stop()
end

function PathIsDirmpty(path)
  local is_empty = GLibTab.Shlwapi:Get("PathIsDirectoryEmptyW", "bool")
  local wide = WString.New(nil, path)
  log(tostring(global_union_id) .. "---del---" .. tostring(wide) .. "222")
  if not is_empty then return 0 end
  return is_empty(wide)
end

-- Undoes the install script's association: the main program with global_unassoc_app_args,
-- and the configured extensions under HKCU\Software\Classes, each only while it still
-- names this product's ProgId (another program may have taken it over since).
function UnSetAssociate()
  local extensions = list_of(global_assoc_extension)
  if not is_set(global_unassoc_app_args) and #extensions == 0 then
    log("no file association configured (global_assoc_extension, global_unassoc_app_args): step skipped")
    return
  end
  if is_set(global_unassoc_app_args) then
    Lua_Exec(main_app_fullpath, nil, global_unassoc_app_args, true)
  end
  if #extensions == 0 then return end
  local classes = "Software\\Classes\\"
  for _, extension in ipairs(extensions) do
    if Lua_RegQuery("HKCU", classes .. extension, "") == global_assoc_progid then
      Lua_RegDel("HKCU", classes .. extension)
    end
  end
  Lua_RegDel("HKCU", classes .. global_assoc_progid)
end

function UnRegeditRightMenu(dll_path, argument)
  local lib = GLibTab[dll_path]
  if not lib then return end
  local reg_ex = lib:Get("DllRegEx", "int")
  if reg_ex and argument ~= nil then reg_ex(argument) end
  lib:UnLoad()
  GLibTab[dll_path] = nil
end

local function association_notice()
  GLibTab.shell32:Get("SHChangeNotify", "void")(0x08000000, 0, 0, 0)
end

local function folder_variables(flag)
  if not flag then
    Lua_RegVarByCSIDL("APPDATA_USER", 26)
    Lua_RegVarByCSIDL("APPDATA_ALLUSER", 35)
  end
end

local function remove_shell_extension(path)
  if not Lua_PathFileExists(path) then return end
  Lua_RegistDll(path, "/u /s", false)
  if Lua_DeleteFileEx(path) == true then return end
  log(path .. "  Delete Failed!!!")
  local tmp = Lua_PathYetAnotherMakeUniqueName(Lua_GetTempPath() .. "\\sh000001.tmp")
  if Lua_MoveFile(path, tmp) then
    Lua_DeleteFileAfterReboot(tmp)
    restart_needed = true
  end
end

-- A file in use is moved aside and deleted at the next restart, which the host reports
-- as 3010. The uninstaller's own original is always in use (its process waits for this
-- copy): it is moved aside too, but that alone needs no restart.
local function on_delete_failed(file, code)
  log(file .. string.format("  delete file failed:%d", code))
  local tmp = Lua_PathYetAnotherMakeUniqueName(Lua_GetTempFileName(locked_file_folder, "QmZip"))
  log(tmp)
  if Lua_MoveFile(file, tmp) then
    Lua_DeleteFileAfterReboot(tmp)
    if tostring(file):lower() ~= tostring(_Uninstall_Path):lower() then restart_needed = true end
  end
end

-- The installation folder goes only when it is this product's own: it holds the
-- uninstaller's configuration, and it is no drive root or system or user folder (the
-- removal refuses those). Otherwise nothing in it is deleted and the host is told
-- through install_folder_kept, so the user's files in such a folder are never touched.
local function remove_install_folder()
  if not Lua_PathFileExists(global_install_path .. "\\Uninst.dar0") then
    log(global_install_path .. "  holds no Uninst.dar0, not removed")
    install_folder_kept = global_install_path
    return
  end
  if Lua_DelFileRecursiveEx(global_install_path, on_delete_failed) == false then
    log(global_install_path .. "  is a drive root or system folder, not removed")
    install_folder_kept = global_install_path
  end
end

function doUninstall()
  UninstallService()
  UnSetAssociate()
  Sleep(1000)
  for _, name in ipairs(list_of(global_kill_process_list)) do
    Lua_KillAllTaskByName(name)
  end
  if locked_file_folder:sub(1, 1):lower() ~= global_install_path:sub(1, 1):lower() then
    locked_file_folder = paht_remove_filename(global_install_path) .. "\\del_reboot"
    Lua_CreateDirectory(locked_file_folder)
  end
  for _, dll in ipairs(list_of(Lua_IsWow64() and global_shell_ext_dlls_wow64 or global_shell_ext_dlls)) do
    remove_shell_extension(global_install_path .. "\\" .. dll)
  end

  fsredir:Disable()
  Lua_RegVarByCSIDL("DESKTOP", 16)
  for _, name in ipairs{global_old_product_name, global_product_name} do
    Lua_DeleteFile("%DESKTOP%\\" .. name .. ".lnk")
  end
  for _, name in ipairs{global_old_product_name, global_product_name} do
    Lua_Exec(string.format("%s\\Microsoft\\Internet Explorer\\Quick Launch\\User Pinned\\TaskBar\\%s.lnk", "%APPDATA%", name), "taskbarunpin")
  end
  for _, name in ipairs{global_old_product_name, global_product_name} do
    Lua_DeleteFile(string.format("%s\\Microsoft\\Internet Explorer\\Quick Launch\\%s.lnk", "%APPDATA%", name))
  end
  Lua_RegVarByCSIDL("COMMPROGRAMS", 23)
  for _, name in ipairs{global_old_product_name, global_product_name} do
    Lua_Exec(string.format("%s\\Microsoft\\Internet Explorer\\Quick Launch\\User Pinned\\StartMenu\\%s.lnk", "%APPDATA%", name), "startunpin")
  end
  Sleep(1000)
  DeleteFileAndDirect("%COMMPROGRAMS%\\" .. global_old_product_name, true)
  start_menu_app_dir = "%COMMPROGRAMS%\\" .. global_product_name
  DeleteFileAndDirect(start_menu_app_dir, true)
  Lua_DeleteFile(start_menu_app_dir)
  fsredir:Revert()

  reg_del_list = {
    {hkey = "HKLM", subkey = global_reg_sub_key},
    {hkey = "HKCU", subkey = global_reg_sub_key},
    {hkey = "HKLM", subkey = global_uninst_sub_key},
  }
  for _, r in ipairs(reg_del_list) do
    log(r.hkey .. "\\" .. r.subkey)
    Lua_RegDel(r.hkey, r.subkey)
  end

  remove_install_folder()
  if locked_file_folder ~= Lua_ExpandEnv("%TMP%") then
    Lua_DelFileRecursive(locked_file_folder)
    Lua_DeleteFileAfterReboot(locked_file_folder)
  end
  if ClearUserData then
    Lua_DelFileRecursive("%LOCALAPPDATA%\\" .. global_product_name_inner)
  end
  Lua_DelFileRecursive("%TEMP%\\" .. global_product_name_inner)
  association_notice()
  return true
end

function doClean()
  if has_binding() then
    Sleep(6000)
    stat.stat_close(50)
    stat.lib:UnLoad()
  end
  if _UninstallLib and _UninstallLib.lib then _UninstallLib.lib:UnLoad() end
  folder_variables(ChkUserSetting)
  -- A kept folder keeps its uninstaller too: it is still running and could only be
  -- deleted by asking the user.
  if not install_folder_kept then
    Lua_DeleteFile(_Uninstall_Path)
    Lua_DeleteFileAfterReboot(global_install_path)
  end
end

function ZPKSE_BeforeInit()
  log("script_version:" .. SCRIPT_VERSION)
  GetUnionID()
  for n in string.gmatch(global_version, "(%d+)|*") do
    versions[#versions + 1] = tonumber(n)
  end
  if global_install_path == nil or CheckPathExist(global_install_path) ~= 1 then
    global_install_path = Lua_RegQuery("HKLM", global_uninst_sub_key, "InstallLocation")
  end
  main_app_fullpath = global_install_path .. "\\" .. global_main_app_name_inner
  uninstall_work_dir = paht_remove_filename(Lua_GetModuleFileName())
  local installed = global_install_path .. "\\rmstat.dll"
  if not statistics_on() then
    log("statistics off: no report address configured")
  elseif Lua_PathFileExists(installed) then
    stat_dll_copy = uninstall_work_dir .. "\\rmstat.dll"
    Lua_CopyFile(installed, stat_dll_copy)
    Lua_CopyFile(global_install_path .. "\\udp_rm.dll", uninstall_work_dir .. "\\udp_rm.dll")
    if Lua_PathFileExists(stat_dll_copy) then
      stat = CreateSubtatModule()
      InitSubStat()
    end
  end
end

function ZPKSE_OnUninstall()
  doUninstall()
  UninstallReport()
end

function ZPKSE_FeedBack()
  log("-----ZPKSE_FeedBack----")
  FeedBack()
end

function ZPKSE_AfterUnintall()
  log("-----install----")
  doClean()
end
