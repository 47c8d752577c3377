-- Run by zpklua, in which nobody initialises libcurl's global state (as in the silent
-- run): Lua_HttpPost must still reach the loopback server.
local port = assert(os.getenv("ZPK_HTTP_PORT"), "run through tests/http/with_servers.sh")
assert(Lua_HttpPost("http://127.0.0.1:" .. port .. "/ok", '{"silent":true}') == true)
assert(Lua_HttpPost("http://127.0.0.1:" .. port .. "/fail", "{}") == true)
print("silent post ok")
