-- The install script's steps, each on its own: what one part of installing does to the
-- machine, read from the configuration and the few values the install script passes in.
-- They are compiled into the install chunk after the shared helpers and before the
-- install script, whose events call them, so they are global.

function service_start()
  if not service_configured() then return end
  Lua_Exec(global_install_path .. "\\" .. global_service_app_name, nil, "--install", true)
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
function shell_extensions()
  local list = list_of(Lua_IsWow64() and global_shell_ext_dlls_wow64 or global_shell_ext_dlls)
  if #list == 0 then log("no shell extension configured (global_shell_ext_dlls): step skipped") end
  return list
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
function associate()
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

-- The product's registry records; `oem_union_id` is the distribution channel's id.
function build_reg_add_list(oem_union_id)
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

function apply_records(list)
  for _, r in ipairs(list) do
    Lua_RegAdd(r.hkey, r.subkey, r.value, r.datatype, r.data, r.overwrite)
  end
end

-- A folder an earlier installation recorded: only an absolute path counts. A value of
-- another type (a number) or an empty one would become a relative target folder.
function recorded_folder(root, key, name)
  local value = Lua_RegQuery(root, key, name)
  if type(value) == "string" and (value:match("^%a:\\") or value:match("^\\\\")) then
    return value
  end
  return nil
end

-- Ends what would hold the product's files: the service, the configured processes, and
-- the shell extensions loaded into Explorer.
function stop_running_product(extensions)
  service_stop()
  for _, name in ipairs(list_of(global_kill_process_list)) do
    Lua_KillAllTaskByName(name)
  end
  Sleep(2000)
  for _, dll in ipairs(extensions) do
    checkShellExt(global_install_path .. "\\" .. dll)
  end
end

-- The desktop and Start-menu shortcuts the user chose.
function create_shortcuts(helper)
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
function record_usage(helper)
  -- The helper records under the product's own key (an older helper without the export
  -- has its own).
  local set_product_key = helper:Get("SetProductKey", "void")
  if set_product_key then set_product_key(WString.New(nil, global_reg_sub_key)) end
  helper:Get("SetUsageCount", "void")(WString.New(nil, global_conf_url), WString.New(nil, global_version),
    WString.New(nil, tostring(global_app_id or "")), WString.New(nil, tostring(global_union_id or "")),
    WString.New(nil, global_reg_guid))
end
