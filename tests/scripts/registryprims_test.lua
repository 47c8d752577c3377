-- Registry primitives from a script, as the install and uninstall scripts use them:
-- round trips of every type, the overwrite rule, default values, tree deletion and
-- root names that are not known.
local arch = arg[1]
local key = "Software\\ZpkTest\\registryprims_lua_" .. arch
Lua_RegDel("HKCU", key)

local function add(value, datatype, data, overwrite, expected)
  local r = Lua_RegAdd("HKCU", key, value, datatype, data, overwrite)
  if expected == nil then expected = true end
  assert(r == expected, "Lua_RegAdd answers " .. tostring(expected) .. " for " .. tostring(value))
end
local function query(value, subkey) return Lua_RegQuery("HKCU", subkey or key, value) end

-- Round trips.
add("sz", "REG_SZ", "Ruvan Zip 解压缩", true)
assert(query("sz") == "Ruvan Zip 解压缩")
add("expand", "REG_EXPAND_SZ", "%ProgramFiles%\\Ruvan", true)
assert(query("expand") == "%ProgramFiles%\\Ruvan", "REG_EXPAND_SZ comes back unexpanded")
add("expanded", "REG_SZ", "%ProgramFiles%\\Ruvan", true)
local pf = query("expanded")
assert(not pf:find("%", 1, true) and pf:sub(-6) == "\\Ruvan" and #pf > 8, pf)
add("max", "REG_DWORD", 0xFFFFFFFF, true)
assert(query("max") == 4294967295, "a DWORD reads as unsigned: " .. tostring(query("max")))
add("minus", "REG_DWORD", -1, true)
assert(query("minus") == 4294967295)
add("num", "REG_DWORD", "0x10", true)
assert(query("num") == 16, "a string that reads as a number")
add("junk", "REG_DWORD", "not a number", true)
assert(query("junk") == 0)
add("zero", "REG_DWORD", 0, true)
assert(query("zero") == 0)
add("bin", "REG_BINARY", "0102FF", true)
assert(query("bin") == nil, "binary data is not read back")
add("odd", "REG_BINARY", "ABC", true)
assert(query("odd") == nil)
add("empty", "REG_SZ", "", true)
assert(query("empty") == "")
add(5, "REG_SZ", "five", true)
assert(query("5") == "five", "a number as value name is its text")

-- Type names are exact: nothing is written for others, and that is a failed write.
add("lower", "reg_sz", "x", true, false)
add("qword", "REG_QWORD", "1", true, false)
add("none", nil, "x", true, false)
assert(query("lower") == nil and query("qword") == nil and query("none") == nil)

-- Overwrite rule.
add("keep", "REG_SZ", "first", false)
assert(query("keep") == "first", "a missing value is written without overwrite")
add("keep", "REG_SZ", "second", false)
assert(query("keep") == "first", "overwrite false leaves an existing value")
add("keep", "REG_DWORD", 7)  -- overwrite absent: same as false
assert(query("keep") == "first")
add("keep", "REG_SZ", "third", true)
assert(query("keep") == "third")
add("keep", "REG_DWORD", 9, 0)  -- 0 is true in Lua
assert(query("keep") == 9)

-- Missing keys and values.
assert(query("absent") == nil)
assert(query("sz", key .. "\\no\\such\\key") == nil)

-- Default value: an absent or nil value name.
add(nil, "REG_SZ", "default text", true)
assert(query(nil) == "default text" and query("") == "default text")
assert(Lua_RegDel("HKCU", key, nil) == true)
assert(query(nil) == nil, "a nil third argument deletes the default value")
assert(query("sz") == "Ruvan Zip 解压缩", "... and not the key")

-- A named value.
assert(Lua_RegDel("HKCU", key, "sz") == true)
assert(query("sz") == nil and query("keep") == 9)

-- Trees go with everything below them; siblings stay.
for _, sub in ipairs{"\\tree\\a\\b\\c", "\\tree\\a\\d", "\\tree\\e", "\\other"} do
  Lua_RegAdd("HKCU", key .. sub, "v", "REG_SZ", sub, true)
end
assert(query("v", key .. "\\tree\\a\\b\\c") == "\\tree\\a\\b\\c")
assert(Lua_RegDel("HKCU", key .. "\\tree") == true)
for _, sub in ipairs{"\\tree\\a\\b\\c", "\\tree\\a\\d", "\\tree\\e", "\\tree"} do
  assert(query("v", key .. sub) == nil, sub)
end
assert(query("v", key .. "\\other") == "\\other")
assert(Lua_RegDel("HKCU", key .. "\\tree") == true, "a missing key still answers true")

-- Root names: exact short forms only; the others reach no key, so writes fail.
for _, root in ipairs{"HKEY_CURRENT_USER", "hkcu", "", nil} do
  assert(Lua_RegAdd(root, key, "wrongroot", "REG_SZ", "x", true) == false)
  assert(Lua_RegQuery(root, key, "keep") == nil)
  assert(Lua_RegDel(root, key) == false)
  assert(Lua_RegDel(root, key, "keep") == false)
end
assert(query("wrongroot") == nil and query("keep") == 9, "an unknown root touched nothing")

-- The other roots reach their keys.
local probes = {
  {"HKLM", "SOFTWARE\\ZpkTest\\registryprims_lua_" .. arch},
  {"HKCR", "ZpkTest.registryprims_lua_" .. arch},
  {"HKU", ".DEFAULT\\Software\\ZpkTest\\registryprims_lua_" .. arch},
  {"HKCC", "Software\\ZpkTest\\registryprims_lua_" .. arch},
}
for _, p in ipairs(probes) do
  local root, sub = p[1], p[2]
  Lua_RegDel(root, sub)
  Lua_RegAdd(root, sub, "v", "REG_DWORD", 42, false)
  assert(Lua_RegQuery(root, sub, "v") == 42, root)
  Lua_RegDel(root, sub)
  assert(Lua_RegQuery(root, sub, "v") == nil, root)
end

-- Wrongly typed arguments are empty text, never errors.
assert(Lua_RegQuery({}, {}, {}) == nil)
assert(Lua_RegAdd("HKCU", key, {}, "REG_SZ", {}, true) == true)
assert(query("") == "", "a table as value name is the default value, as data the empty text")

Lua_RegDel("HKCU", key)
assert(query("keep") == nil)
print("registry primitives ok")
