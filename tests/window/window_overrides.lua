
-- Window tests only: values the test run chooses through the environment.
--   ZW_NEED_SPACE   global_need_disk_space, as a decimal string (bytes)
--   ZW_NO_COMPLETE  any text: global_show_completewindow = false
local function zw_env(name)
  local value = os.getenv(name)
  if value == "" then return nil end
  return value
end
if zw_env("ZW_NEED_SPACE") then global_need_disk_space = zw_env("ZW_NEED_SPACE") end
if zw_env("ZW_NO_COMPLETE") then global_show_completewindow = false end
