-- Install script of the fault-test installer: unpacks the payload with the product's own
-- error handler (a file that cannot be created is moved aside into "del_reboot", scheduled
-- for deletion at restart, and created once more), taken from the product's install script
-- itself, and notes the outcome in the file named by ZF_RESULT; a failed extraction ends
-- the run with exit code 1603.
--   ZF_PRODUCT_SCRIPT  the product's install chunk, as the build compiles it for this target
--   ZF_STALL           after this many written files the run stops and waits (a test kills it)
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

-- The product script's move_aside_handler for `folder`. The script runs in a table of its
-- own (its configuration defaults and globals stay there), over this host's primitives.
local function product_handler(folder)
  local env = {global_product_name = "Zpk Fault", global_product_name_inner = "ZpkFault",
               global_main_app_name = "idle.exe"}
  env._G = env
  setmetatable(env, {__index = _G})
  local chunk = assert(loadfile(assert(os.getenv("ZF_PRODUCT_SCRIPT"), "ZF_PRODUCT_SCRIPT"), "b", env))
  chunk()
  return assert(env.move_aside_handler, "the product script has no move_aside_handler")(folder)
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
  local move_aside = product_handler(aside)
  local function on_error(path, code)
    note("locked " .. path .. " " .. code)
    return move_aside(path, code)
  end
  if not Lua_UnCompress7z("App.7z", target, false, on_file, on_error) then
    note("extract failed")
    os.exit(1603)
  end
  note("installed")
end
