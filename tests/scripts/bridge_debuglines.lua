-- Get on something that is not a DllManager value writes its debug-output line.
local get = getmetatable(GLibTab.kernel32).Get
local f, e = get(nil, "Sleep")
assert(f == nil and e == "hModule is nil")
print("debug line written")
