-- Install script of the fault-test installer: unpacks the payload the way the product's
-- install script does (a file that cannot be created is moved aside into "del_reboot",
-- scheduled for deletion at restart, and created once more) and notes the outcome in the
-- file named by ZF_RESULT; a failed extraction ends the run with exit code 1603.
--   ZF_STALL  after this many written files the run stops and waits (a test kills it)
local result = os.getenv("ZF_RESULT")
local stall = tonumber(os.getenv("ZF_STALL") or "")

local function Sleep(ms) GLibTab.Kernel32:Get("Sleep")(ms) end

local function note(text)
  if not result or result == "" then return end
  local f = assert(io.open(result, "a"))
  f:write(text, "\n")
  f:close()
end

local function parent(path)
  return string.match(path, "^(%a:\\.+)\\[^\\]*$") or path:sub(1, 3)
end

function ZPKSE_BeforeInit() note("start") end

function ZPKSE_OnInstall()
  local target = InstallPath
  Lua_CreateDirectory(target)
  local aside = parent(target) .. "\\del_reboot"
  Lua_CreateDirectory(aside)
  local written = 0
  local function on_file(path)
    written = written + 1
    if stall and written == stall then
      note("stalled")
      while true do Sleep(1000) end
    end
  end
  local function on_error(path, code)
    note("locked " .. path .. " " .. code)
    local tmp = Lua_PathYetAnotherMakeUniqueName(Lua_GetTempFileName(aside, "QmZip"))
    if tmp and Lua_MoveFile(path, tmp) then
      Lua_DeleteFileAfterReboot(tmp)
      return 0
    end
    return 2
  end
  if not Lua_UnCompress7z("App.7z", target, false, on_file, on_error) then
    note("extract failed")
    os.exit(1603)
  end
  note("installed")
end
