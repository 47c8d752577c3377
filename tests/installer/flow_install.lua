-- Install script of the start-up test installer: every event notes its name (and the
-- values the native side handed over) in the file named by ZT_EVENTS.
--   ZT_SS  what ZPKSE_BeforeInit sets global_ss_install to: "true", "false", any other
--          text (set as that string) or unset (left alone)
local events = os.getenv("ZT_EVENTS")

local function note(text)
  if not events or events == "" then return end
  local f = assert(io.open(events, "a"))
  f:write(text, "\n")
  f:close()
end

note("install")

function ZPKSE_BeforeInit()
  note("BeforeInit")
  local ss = os.getenv("ZT_SS")
  if ss == "true" then
    global_ss_install = true
  elseif ss == "false" then
    global_ss_install = false
  elseif ss and ss ~= "" then
    global_ss_install = ss
  end
end

function ZPKSE_BeforeInstall()
  note("BeforeInstall InstallPath=" .. tostring(InstallPath) .. " ss=" .. tostring(global_ss_install))
end

function ZPKSE_OnInstall() note("OnInstall") end
function ZPKSE_BeforeComplete() note("BeforeComplete") end
function ZPKSE_AfterComplete() note("AfterComplete") end
