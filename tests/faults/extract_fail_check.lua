-- The product's install script when the payload cannot be unpacked (a full disk, a file
-- that cannot be moved aside): exit code 1603, a message box in the windowed run only.
-- Arguments: arch, configuration source, install chunk, "silent" or "windowed".
local arch, config, script, mode = table.unpack(arg, 1, 4)
assert(arch and config and script and (mode == "silent" or mode == "windowed"), "arguments")
assert(loadfile(config))()
global_install_path = Lua_ExpandEnv("%TEMP%") .. "\\zpk-extractfail"
assert(loadfile(script))()

local boxed = false
Lua_MsgBox = function(text)
  boxed = true
  print("box: " .. tostring(text))
  return 1
end
Lua_UnCompress7z = function() return false end  -- the extraction fails
local exit = os.exit
os.exit = function(code)
  print("exit " .. tostring(code) .. (boxed and " after box" or " without box"))
  io.stdout:flush()
  exit(code)
end

global_ss_install = mode == "silent"
ZPKSE_OnInstall()
print("ZPKSE_OnInstall went on after the failed extraction")
exit(1)
