-- Registry values an earlier (or foreign) installation left with the wrong type, read by
-- the product's install script where it expects a number (UnionId) or a string (the
-- installation folder): the script must get a usable value, never a number as a folder
-- or an error. Arguments: arch, configuration source, install chunk.
local arch, config, script = table.unpack(arg, 1, 3)
assert(arch and config and script, "arguments")
assert(loadfile(config))()
assert(loadfile(script))()

local P, U = global_reg_sub_key, global_uninst_sub_key
local failures = 0
local function check(cond, what)
  print((cond and "ok   " or "FAIL ") .. what)
  if not cond then failures = failures + 1 end
end
local function clear()
  for _, root in ipairs{"HKLM", "HKCU"} do
    for _, name in ipairs{"UnionId", "AppPath"} do Lua_RegDel(root, P, name) end
  end
  Lua_RegDel("HKLM", U, "InstallLocation")
end

-- UnionId: a number is expected.
for _, case in ipairs{
  {"REG_SZ", "abc", 0}, {"REG_SZ", "26100", 26100}, {"REG_SZ", "", 0},
  {"REG_BINARY", 0, 0}, {"REG_DWORD", 4294967295, 4294967295},
} do
  clear()
  Lua_RegAdd("HKCU", P, "UnionId", case[1], case[2], true)
  local ok, id = pcall(GetCurrentUnionID)
  check(ok and type(id) == "number" and id == case[3],
        "UnionId " .. case[1] .. " " .. tostring(case[2]) .. " -> " .. tostring(id))
end

-- The installation folder: a string (a folder path) is expected from each of the three
-- places ZPKSE_BeforeInit looks; a value of another type is passed over.
local default = "default"
for _, case in ipairs{
  {"HKLM", U, "InstallLocation"}, {"HKLM", P, "AppPath"}, {"HKCU", P, "AppPath"},
} do
  for _, wrong in ipairs{{"REG_DWORD", 7}, {"REG_BINARY", 0}, {"REG_SZ", ""}} do
    clear()
    Lua_RegAdd(case[1], case[2], case[3], wrong[1], wrong[2], true)
    global_install_path = nil
    local ok, err = pcall(ZPKSE_BeforeInit)
    local path = global_install_path
    check(ok and type(path) == "string" and path:match("^%a:\\") ~= nil,
          case[3] .. " as " .. wrong[1] .. " -> " .. tostring(path) .. (ok and "" or (" error " .. tostring(err))))
  end
end
clear()
Lua_RegAdd("HKLM", U, "InstallLocation", "REG_SZ", "C:\\Earlier\\RuvanZip", true)
global_install_path = nil
pcall(ZPKSE_BeforeInit)
check(global_install_path == "C:\\Earlier\\RuvanZip", "a string InstallLocation is adopted")
clear()
os.exit(failures == 0 and 0 or 1)
