-- Run with --answer=3: Lua_DeleteFile on a file this script holds open asks the user;
-- Abort ends the process with exit code 0 before the next line runs.
local path = Lua_ExpandEnv("%TEMP%") .. "\\zpk_abort_held.txt"
local held = assert(io.open(path, "w"))
held:write("x")
Lua_DeleteFile(path)
print("Lua_DeleteFile returned after Abort")
os.exit(3)
