-- extract.lua ARCHIVE DESTINATION: unpacks an archive file the way the install script
-- unpacks its payload (Lua_UnCompress7z with an error callback); exits 1 on failure.
local archive, destination = arg[1], arg[2]
local ok = Lua_UnCompress7z(archive, destination, true, nil, function(path, code)
  io.stderr:write("cannot create ", path, " (", code, ")\n")
  return 2
end)
if not ok then
  io.stderr:write("extraction failed\n")
  os.exit(1)
end
