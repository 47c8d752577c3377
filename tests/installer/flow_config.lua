-- Configuration of the start-up test installer. The values come from the environment,
-- so that one program covers every start-up case:
--   ZT_EVENTS       file that receives one line per step (nothing is written without it)
--   ZT_ENABLE_SS    "1": global_enable_ss_install = true, "0": false, unset: absent
--   ZT_APP_ID       global_app_id (absent when unset)
--   ZT_MUTEX        global_install_mutex_guid (absent when unset)
--   ZT_INSTALL_PATH global_install_path
local function env(name)
  local value = os.getenv(name)
  if value == "" then return nil end
  return value
end

local enable = env("ZT_ENABLE_SS")
if enable == "1" then global_enable_ss_install = true end
if enable == "0" then global_enable_ss_install = false end
if env("ZT_APP_ID") then global_app_id = tonumber(env("ZT_APP_ID")) end
global_install_mutex_guid = env("ZT_MUTEX")
global_install_path = env("ZT_INSTALL_PATH") or "C:\\zpktest"

local events = env("ZT_EVENTS")
if events then
  local f = assert(io.open(events, "a"))
  f:write("config\n")
  f:close()
end
