-- The compiled configuration chunk (argument 2) for this target (argument 1): it only assigns
-- globals, in this order, with these values; the open values are fictional.
local arch, chunkPath = arg[1], arg[2]
assert(arch == "x86_64" or arch == "i686", "arch argument")
local f = assert(io.open(chunkPath, "rb"), "chunk " .. tostring(chunkPath))
local bytes = f:read("*a")
f:close()

-- A standard 5.2 binary chunk with this target's word size.
assert(bytes:sub(1, 4) == "\27Lua" and bytes:byte(5) == 0x52, "not a Lua 5.2 binary chunk")
assert(bytes:byte(9) == (arch == "i686" and 4 or 8), "size_t width does not match " .. arch)

local feedback = "https://www.ruvanzip.example/feedback.html?ruleShow=true"
local expected = {
  {"global_install_basepath", "RuvanZip"},
  {"global_http_Agent", "NTECH2020"},
  {"global_union_id", 26100},
  {"global_union_id_x64", 26100},
  {"global_app_id", 161},
  {"global_version", "1.0.0.70"},
  {"global_product_name", "RuvanZip解压缩"},
  {"global_shortcut_name", "RuvanZip解压缩"},
  {"global_product_name_inner", "RuvanZip"},
  {"global_company_name", "string"},
  {"global_legalcopyright", "string"},
  {"global_main_app_name", "RuvanZip.exe"},
  {"global_main_app_name_inner", "RuvanZip.exe"},
  {"global_old_product_name", "RuvanZip"},
  {"global_licence_url", "https://[^/]+%.example/licence%.html$"},
  {"global_need_disk_space", 347149043},
  {"global_main_wnd_cls", "RuvanZipWnd"},
  {"global_uninst_sub_key", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\RuvanZip"},
  {"global_reg_sub_key", "SOFTWARE\\RuvanZip"},
  {"global_reg_run_key", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\RuvanZip"},
  {"global_startup_check_visable", true},
  {"global_disable_cover", false},
  {"global_cover_unionId", false},
  {"global_show_completewindow", true},
  {"global_uninstall_useui", true},
  {"global_uninstall_no_start_prompt", true},
  {"global_create_log_folder", false},
  {"global_udp_un_install_port", 8100},
  {"global_udp_install_uninstall_url", "^[%w%-%.]+%.example$"},
  {"global_install_PostURL", "^http://[^/]+%.example/api/InstallStat$"},
  {"global_Uninstall_PostURL", "^http://[^/]+%.example/api/UnInstallStat$"},
  {"global_Uninstall_Suggesstion_url", "^https://[^/]+%.example/feedback%.html%?ruleShow=true$"},
  {"global_AwardLnk_url", "^https://[^/]+%.example/feedback%.html%?ruleShow=true$"},
  {"global_Uninstall_ReasonURL", "^http://[^/]+%.example/api/v1/feedback/add$"},
  {"global_kf_QQ", "number"},
  {"global_kf_QQQ", ""},
  {"global_startuseexplorer_level", true},
  {"global_analyze_unionid_from_commandline", true},
  {"global_disable_analyze_params_from_file_name", false},
  {"global_enable_ss_install", true},
  {"global_kill_process_list", {"RuvanZip.exe", "NuUserCenter.exe", "ffmpeg.exe", "gHelper.exe"}},
  {"global_service_name", "RzSvc"},
  {"global_service_app_name", "RzSrv.exe"},
  {"global_firewall_rule_name", "RuvanZip"},
  {"global_firewall_app_name", "RuvanZip.exe"},
  {"global_shell_ext_dlls", {"IShellExt.dll"}},
  {"global_shell_ext_dlls_wow64", {"IShellExt64.dll", "shell\\RuvanShell.dll"}},
  {"global_assoc_app_args", "sp Asso"},
  {"global_unassoc_app_args", "sp unAsso"},
  {"global_certificate_file", "http.cer"},
}
-- Entries whose value is a pattern or a type name rather than the exact value.
local patterns = {
  global_licence_url = true, global_udp_install_uninstall_url = true,
  global_install_PostURL = true, global_Uninstall_PostURL = true,
  global_Uninstall_Suggesstion_url = true, global_AwardLnk_url = true,
  global_Uninstall_ReasonURL = true,
}
local typed = { global_company_name = true, global_legalcopyright = true, global_kf_QQ = true }

-- Run the chunk against a recording environment: every write in order, no reads at all.
local writes, reads = {}, {}
local env = setmetatable({}, {
  __newindex = function(t, k, v) writes[#writes + 1] = {k, v}; rawset(t, k, v) end,
  __index = function(_, k) reads[#reads + 1] = k end,
})
local chunk = assert(load(bytes, "=global_var", "b", env))
chunk()
assert(#reads == 0, "the configuration reads " .. tostring(reads[1]))
assert(#writes == #expected, ("%d globals set, %d expected"):format(#writes, #expected))

for i, e in ipairs(expected) do
  local name, want = e[1], e[2]
  local got = writes[i]
  assert(got[1] == name, ("global %d is %s, expected %s"):format(i, tostring(got[1]), name))
  local v = got[2]
  if patterns[name] then
    assert(type(v) == "string" and v:match(want), name .. " = " .. tostring(v))
  elseif type(want) == "table" then
    assert(type(v) == "table" and #v == #want, name .. " is not a list of " .. #want)
    for k, item in ipairs(want) do
      assert(v[k] == item, ("%s[%d] = %s, expected %s"):format(name, k, tostring(v[k]), item))
    end
  elseif typed[name] then
    assert(type(v) == want, name .. " has type " .. type(v))
    if want == "string" then assert(#v > 0, name .. " is empty") end
  else
    assert(type(v) == type(want) and v == want,
      ("%s = %s (%s), expected %s"):format(name, tostring(v), type(v), tostring(want)))
  end
end
-- Integral numbers survive the chunk format exactly.
assert(math.floor(env.global_need_disk_space / 1024) == 339012)
-- Left unset on purpose: the entry point falls back to its built-in mutex name.
assert(env.global_install_mutex_guid == nil)
assert(env.global_company_name:find("Example", 1, true) and env.global_legalcopyright:find("Example", 1, true),
  "publisher data must be plainly fictional")

-- Loaded the way the host does, in the real global table.
assert(loadfile(chunkPath))()
assert(global_app_id == 161 and global_product_name == "RuvanZip解压缩")
print("global_var ok: " .. #writes .. " globals")
