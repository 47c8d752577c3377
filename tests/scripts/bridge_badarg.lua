-- A table passed to a DLL export is a script error: the host's error box ends the run.
local sleep = GLibTab.kernel32:Get("Sleep")
sleep({})
print("not reached")
