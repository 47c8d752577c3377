-- A small tour of the installer's script host: the same Lua 5.2 state, libraries and
-- text conventions that the install script runs with.
local arch = arg[1] or "?"
print(("ZPK script host on %s, %s"):format(arch, _VERSION))
print(("strings are UTF-8 inside scripts: %q has %d bytes"):format("安装", #"安装"))
local libs = {}
for _, n in ipairs{"package", "coroutine", "table", "io", "os", "string", "bit32", "math", "debug"} do
  if type(_G[n]) == "table" then libs[#libs + 1] = n end
end
print("standard libraries: " .. table.concat(libs, ", "))
print("temporary folder: " .. (os.getenv("TEMP") or "?"))
