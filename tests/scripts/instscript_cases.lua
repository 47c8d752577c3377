-- The install script's decisions at start-up and its firewall step, with the installer's
-- file name, command line and registry stood in: switches, file-name markers, the union
-- id a reinstall reports, the locked-file folder on another volume, the netsh command lines.
-- Arguments: arch, configuration source, install chunk (as the build compiles it).
local arch, config, script = table.unpack(arg, 1, 3)
assert(arch and config and script, "arguments: arch config script")

local real = {
  GetModuleFileName = Lua_GetModuleFileName, GetCommandLineArgv = Lua_GetCommandLineArgv,
  RegQuery = Lua_RegQuery, RegAdd = Lua_RegAdd, Exec = Lua_Exec, ExplorerExec = Lua_ExplorerExec,
  MsgBox = Lua_MsgBox, GetOSVersion = Lua_GetOSVersion, exit = os.exit,
}
local failures = 0

local function check(cond, what)
  print((cond and "ok   " or "FAIL ") .. what)
  if not cond then failures = failures + 1 end
end

-- A fresh state for one installer run: configuration (with `overrides`), the install
-- script, then ZPKSE_BeforeInit with the given file name, arguments and recorded values.
-- Returns what the stand-ins saw; `exited` holds os.exit's code when the script quit.
local overridden = {}
local function start(opts)
  -- Globals the configuration does not set would otherwise leak into the next run.
  for k in pairs(overridden) do _G[k] = nil end
  for k in pairs(opts.config or {}) do overridden[k] = true end
  for _, g in ipairs{"DesktopShortcutChk", "StartMenuShortcutChk", "QuickLaunchChk", "FileAssoChk",
                     "replace_union_id", "report_union_id", "global_install_path", "InstallPath"} do
    _G[g] = nil
  end
  assert(loadfile(config))()
  for k, v in pairs(opts.config or {}) do _G[k] = v end
  Lua_GetOSVersion = real.GetOSVersion
  assert(loadfile(script))()
  local seen = {boxes = {}, execs = {}, regadds = {}}
  local recorded = opts.registry or {}
  Lua_GetModuleFileName = function() return opts.name or "C:\\dl\\RuvanZipSetup.exe" end
  Lua_GetCommandLineArgv = function()
    local argv = {opts.name or "C:\\dl\\RuvanZipSetup.exe"}
    for _, a in ipairs(opts.argv or {}) do argv[#argv + 1] = a end
    return argv
  end
  Lua_RegQuery = function(hkey, subkey, value) return recorded[hkey .. "\\" .. subkey .. "\\" .. value] end
  Lua_MsgBox = function(text, caption, style) seen.boxes[#seen.boxes + 1] = text return 1 end
  Lua_Exec = function(path, dir, args, wait) seen.execs[#seen.execs + 1] = {path, args, wait} return true end
  Lua_ExplorerExec = function(path, args) seen.explorer = path return true end
  Lua_RegAdd = function(...) seen.regadds[#seen.regadds + 1] = {...} return true end
  if opts.os then Lua_GetOSVersion = function() return opts.os end end
  os.exit = function(code) error({exit = code}, 0) end
  local ok, err = pcall(ZPKSE_BeforeInit)
  os.exit = real.exit
  if not ok then
    assert(type(err) == "table", tostring(err))
    seen.exited = err.exit
  end
  return seen
end

local default_dir = Lua_ExpandEnv(arch == "i686" and "%ProgramFiles(x86)%\\" or "%ProgramFiles%\\") .. "RuvanZip"

-- Plain run: windowed, the configuration's channel, every option on.
start{}
check(global_union_id == 26100 and global_install_path == default_dir, "plain run: union 26100, " .. tostring(global_install_path))
check(not global_ss_install and not global_ss_run and global_show_completewindow == true, "plain run is windowed")
check(DesktopShortcutChk and StartMenuShortcutChk and QuickLaunchChk and FileAssoChk, "plain run: every option on")

-- Union id switches take any number; a non-number leaves the union id unset.
for _, c in ipairs{{"-uid=26150", 26150}, {"-uid=99999", 99999}, {"-uid:26151", 26151}, {"/uid:26152", 26152},
                   {"-uid=abc", nil}, {"-uid=", nil}} do
  start{argv = {c[1]}}
  check(global_union_id == c[2], c[1] .. " gives union id " .. tostring(global_union_id))
end
-- An unset union id is written as 0 by the registry primitive (the real one, on a test key).
local probe = "SOFTWARE\\ZpkTestInstscriptCases"
real.RegAdd("HKCU", probe, "AppPath", "REG_SZ", "x", true)
real.RegAdd("HKCU", probe, "UnionId", "REG_DWORD", nil, true)
check(tonumber(real.RegQuery("HKCU", probe, "UnionId")) == 0, "an unset union id is recorded as 0")

-- The path switches replace the recorded directory; quotes stay.
for _, c in ipairs{{"-path=D:\\Apps\\RZ", "D:\\Apps\\RZ"}, {"-path:D:\\x", "D:\\x"}, {"/path:E:\\y", "E:\\y"},
                   {"-path=\"D:\\q\"", "\"D:\\q\""}} do
  start{argv = {c[1]}, registry = {["HKLM\\" .. global_uninst_sub_key .. "\\InstallLocation"] = "C:\\Old"}}
  check(global_install_path == c[2], c[1] .. " gives " .. tostring(global_install_path))
end
start{registry = {["HKLM\\SOFTWARE\\RuvanZip\\AppPath"] = "C:\\Old"}}
check(global_install_path == "C:\\Old", "without a switch the recorded directory is kept")

-- Switches are case-sensitive and compared whole.
start{argv = {"/hd"}}
check(DesktopShortcutChk == false and StartMenuShortcutChk == true, "/hd: no desktop shortcut, the rest on")
start{argv = {"/HD", "-S", "/s2"}}
check(DesktopShortcutChk == true and not global_ss_install, "/HD, -S and /s2 change nothing")

-- Silent switches, with and without the configuration's permission.
start{argv = {"-s"}}
check(global_ss_install and global_ss_run and global_show_completewindow == false, "-s: silent, start, no completion page")
start{argv = {"/s"}, config = {global_enable_ss_install = false}}
check(not global_ss_install and not global_ss_run and global_show_completewindow == true, "/s refused when silent installs are disabled")
start{argv = {"/sUpdate"}, config = {global_enable_ss_install = false}}
check(global_ss_install and not global_ss_run and global_show_completewindow == false, "/sUpdate works although silent installs are disabled")
for _, switch in ipairs{"-sUpdate", "/srvUpdate"} do
  local s = start{argv = {switch}}
  global_install_path = "C:\\P"
  RunApp()
  check(#s.regadds == 1 and s.regadds[1][3] == "RunToTray" and s.regadds[1][5] == 1 and s.explorer == "C:\\P\\RuvanZip.exe",
        switch .. ": records RunToTray and starts the program")
end
local s = start{argv = {"/s"}}
global_install_path = "C:\\P"
RunApp()
check(#s.regadds == 0 and s.explorer == "C:\\P\\RuvanZip.exe", "/s starts the program without RunToTray")
s = start{argv = {"/ForceUpdate"}}
check(is_upgrade == true and global_show_completewindow == false and not global_ss_install, "/ForceUpdate: upgrade without completion page")
s = start{argv = {"/NormalUpdate"}}
check(is_upgrade == true and global_show_completewindow == true, "/NormalUpdate: upgrade")

-- The file name: product, union id in range, options; anything else is ignored.
-- {name, union id, desktop shortcut, name accepted}
for _, c in ipairs{
  {"C:\\dl\\RuvanZip_26105_hd.exe", 26105, false, true},
  {"C:\\dl\\ruvanzip_26105_x.exe", 26105, true, true},
  {"C:\\dl\\RuvanZip_26100_hdx.exe", 26100, false, true},
  {"C:\\dl\\RuvanZip_26198_a.exe", 26198, true, true},
  {"C:\\dl\\RuvanZip_26199_hd.exe", 26100, true, false},
  {"C:\\dl\\RuvanZip_26250_x.exe", 26100, true, false},
  {"C:\\dl\\RuvanZip_26099_hd.exe", 26100, true, false},
  {"C:\\dl\\RuvanZip_26198.exe", 26100, true, false},
  {"C:\\dl\\RuvanZip_26105_hd_x.exe", 26100, true, false},
  {"C:\\dl\\Other_26105_hd.exe", 26100, true, false},
  {"C:\\dl\\RuvanZip_abc_hd.exe", 26100, true, false},
} do
  start{name = c[1]}
  local name = c[1]:match("[^\\]+$")
  check(global_union_id == c[2] and DesktopShortcutChk == c[3] and (replace_union_id ~= nil) == c[4],
        name .. ": union " .. tostring(global_union_id) .. ", desktop " .. tostring(DesktopShortcutChk)
        .. ", replaced " .. tostring(replace_union_id))
end
start{name = "C:\\dl\\RuvanZip_26105_hd.exe", config = {global_disable_analyze_params_from_file_name = true}}
check(global_union_id == 26100 and DesktopShortcutChk == true, "file-name analysis switched off")
-- A command-line union id wins over the file name's.
start{name = "C:\\dl\\RuvanZip_26105_hd.exe", argv = {"-uid=26160"}}
check(global_union_id == 26160 and replace_union_id == 26105, "-uid= after the file name")

-- The OEM union id: digits after a '-' that follows an '_'.
for _, c in ipairs{{"C:\\dl\\RuvanZip_setup-26150.exe", "26150"}, {"C:\\dl\\RuvanZip_setup-26150@stt.exe", "26150"},
                   {"C:\\dl\\RuvanZipSetup-26150.exe", nil}, {"C:\\dl\\RuvanZip_setup.exe", nil}} do
  start{name = c[1]}
  check(GetUnionByPkgName() == c[2], c[1] .. " OEM union " .. tostring(GetUnionByPkgName()))
end

-- Silent markers in the file name: @st starts the program, @stt does not.
start{name = "C:\\dl\\RuvanZipSetup@st.exe"}
check(global_ss_install and global_ss_run, "@st: silent and start")
start{name = "C:\\dl\\RuvanZipSetup@STT.exe"}
check(global_ss_install and not global_ss_run, "@stt (any case): silent without start")
start{name = "C:\\dl\\RuvanZipSetup@st.exe", config = {global_enable_ss_install = false}}
check(not global_ss_install and not global_ss_run, "@st refused when silent installs are disabled")
start{name = "C:\\dl\\RuvanZipSetup@st.exe", config = {global_default_ss_install = true}}
check(global_ss_install and global_ss_run, "silent by configuration")

-- Shortcut markers, read only in a silent run.
start{name = "C:\\dl\\RuvanZipSetup@dtc@smc@qlc.exe", argv = {"/s"}}
check(DesktopShortcutChk == false and StartMenuShortcutChk == false and QuickLaunchChk == false and FileAssoChk == true,
      "@dtc @smc @qlc in a silent run")
start{name = "C:\\dl\\RuvanZipSetup@dtc.exe"}
check(DesktopShortcutChk == true, "@dtc ignored in a windowed run")
start{name = "C:\\dl\\RuvanZipSetup@dto.exe", argv = {"/hd", "/s"}}
check(DesktopShortcutChk == true, "@dto overrides /hd in a silent run")
start{name = "C:\\dl\\RuvanZipSetup@stt@dtc.exe"}
check(global_ss_install and DesktopShortcutChk == false, "@stt@dtc: silent, no desktop shortcut")

-- A reinstall reports the recorded union id, whatever the file name or switch says.
local recorded = {["HKCU\\SOFTWARE\\RuvanZip\\UnionId"] = 26105, ["HKLM\\" .. global_uninst_sub_key .. "\\InstallLocation"] = "C:\\RZ"}
for _, argv in ipairs{{}, {"-uid=26160"}} do
  start{argv = argv, registry = recorded}
  local reported
  InstallReport = function(versions, union_id) reported = union_id return true end
  UpInfomession()
  check(reported == 26105 and global_install_path == "C:\\RZ", "reinstall reports the recorded 26105 (" .. table.concat(argv, " ") .. ")")
end
start{}
local reported
InstallReport = function(versions, union_id) reported = union_id return true end
UpInfomession()
check(reported == 26100, "a first install reports the configuration's union id")
-- With covering disabled, an installer of the recorded channel quits when installed.
s = start{registry = {["HKLM\\SOFTWARE\\RuvanZip\\UnionId"] = 26100, ["HKLM\\SOFTWARE\\RuvanZip\\AppPath"] = "C:\\RZ"},
          config = {global_disable_cover = true}}
check(s.exited == 0 and #s.boxes == 0, "disable_cover: same channel installed quits silently")
s = start{registry = {["HKLM\\SOFTWARE\\RuvanZip\\UnionId"] = 26100}, config = {global_disable_cover = true}}
check(s.exited == nil, "disable_cover: not installed goes on")
s = start{os = 5}
check(s.exited == 0 and #s.boxes == 1 and s.boxes[1]:find("目前只支持WIN7", 1, true) ~= nil, "Windows before 6: message and exit 0")

-- The locked-file folder on another volume sits beside the directory, or at its root.
check(paht_remove_filename("D:\\Apps\\RuvanZip") == "D:\\Apps", "parent of D:\\Apps\\RuvanZip")
check(paht_remove_filename("D:\\RuvanZip") .. "\\del_reboot" == "D:\\\\del_reboot", "drive-root directory gives D:\\\\del_reboot")

-- The firewall rules: three netsh runs, waited for, with a fixed program name.
s = start{}
global_install_path = "C:\\Program Files\\RuvanZip"
global_main_app_name = "Other.exe"
add_firewall_rule()
local want = {
  "advfirewall firewall delete rule name=\"RuvanZip\"",
  "advfirewall firewall add rule name=\"RuvanZip\" dir=in program=\"C:\\Program Files\\RuvanZip\\RuvanZip.exe\" action=allow",
  "advfirewall firewall add rule name=\"RuvanZip\" dir=out program=\"C:\\Program Files\\RuvanZip\\RuvanZip.exe\" action=allow",
}
check(#s.execs == 3, "three netsh runs")
for i, line in ipairs(want) do
  local e = s.execs[i] or {}
  check(e[1] == "%windir%\\system32\\netsh.exe" and e[2] == line and e[3] == true, "netsh " .. tostring(e[2]))
end

print(failures == 0 and "instscript cases passed" or ("instscript cases failed: " .. failures))
if failures ~= 0 then error("failures: " .. failures) end
