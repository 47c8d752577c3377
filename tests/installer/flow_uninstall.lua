-- Uninstall script of the start-up test installer: only carried, never run by it.
function ZPKSE_Uninstall() end
