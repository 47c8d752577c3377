-- Shell primitives from a script: a special folder published as a variable, a shortcut
-- placed through it, a helper program run to completion, unpinning what is not there.
local arch, helpers = arg[1], arg[3]
assert(helpers, "the helper folder comes as the third argument")
local helper = helpers:gsub("/", "\\") .. "\\latemark.exe"

local function exists(path)
  local f = io.open(path, "rb")
  if f then f:close() end
  return f ~= nil
end
local function read(path)
  local f = assert(io.open(path, "rb"))
  local s = f:read("*a")
  f:close()
  return s
end

assert(Lua_RegVarByCSIDL("ZPKT_APPDATA", 26) == true)
assert(Lua_RegVarByCSIDL("ZPKT_NOFOLDER", 126) == false)
-- The registry's REG_SZ expansion shows what the variables hold.
local key = "Software\\ZpkTest\\shellprims_lua_" .. arch
Lua_RegAdd("HKCU", key, "appdata", "REG_SZ", "%ZPKT_APPDATA%", true)
Lua_RegAdd("HKCU", key, "nofolder", "REG_SZ", "%ZPKT_NOFOLDER%", true)
local appdata = Lua_RegQuery("HKCU", key, "appdata")
assert(appdata ~= "%ZPKT_APPDATA%" and appdata:match("^%a:\\"), appdata)
assert(Lua_RegQuery("HKCU", key, "nofolder") == "%ZPKT_NOFOLDER%", "an unknown folder leaves it unset")
Lua_RegDel("HKCU", key)

-- A shortcut into a folder that does not exist yet, through the variable.
local dir = appdata .. "\\ZpkShellPrimsLua_" .. arch
local link = dir .. "\\Menu\\Ruvan Zip.lnk"
os.remove(link)
assert(Lua_CreateShortcut(helper, "%ZPKT_APPDATA%\\ZpkShellPrimsLua_" .. arch .. "\\Menu\\Ruvan Zip.lnk",
                          "0 x", nil) == true)
assert(exists(link), link)
assert(Lua_CreateShortcut("https://ruvan.example/", dir .. "\\Ruvan.url") == true)
assert(read(dir .. "\\Ruvan.url"):find("URL=https://ruvan.example/", 1, true))

-- A program run to completion: its report is there when the call returns.
local marker = dir .. "\\done.txt"
os.remove(marker)
assert(Lua_Exec(helper, nil, '1000 "' .. marker .. '" from script', true) == true)
local report = read(marker)
assert(report:find("^show=0 ") and report:find(" args=from script$"), report)

-- Unpinning what does not exist is fine; running it is not.
assert(Lua_Exec(dir .. "\\gone.lnk", "taskbarunpin") == true)
assert(Lua_Exec(dir .. "\\gone.lnk", "startunpin") == true)
assert(Lua_Exec(dir .. "\\gone.lnk") == false)
assert(Lua_Exec("%ZPKT_APPDATA%\\ZpkShellPrimsLua_" .. arch .. "\\gone.exe", "open", "", true) == false)

os.remove(marker)
os.remove(link)
os.remove(dir .. "\\Ruvan.url")
os.remove(dir .. "\\Menu")
os.remove(dir)
print("shell primitives ok")
