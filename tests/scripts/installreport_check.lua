-- The install script's own InstallReport against a loopback statistics server
-- (tests/checks/stat_receiver.py): the configuration, then the install script, with the
-- report addresses pointed at the server and the statistics library's build folder as
-- the installation directory.
-- Arguments: arch, configuration source, install chunk, rmstat.dll folder,
-- UDP port, HTTP base address.
local arch, config, script, dllDir, udpPort, httpBase = table.unpack(arg, 1, 6)
assert(arch and config and script and dllDir and udpPort and httpBase, "arguments")

assert(loadfile(config))()
global_install_path = dllDir
global_udp_install_uninstall_url = "127.0.0.1"
global_udp_un_install_port = tonumber(udpPort)
global_install_PostURL = httpBase .. "/api/InstallStat"
assert(loadfile(script))()

local versions = {}
for n in global_version:gmatch("(%d+)") do versions[#versions + 1] = tonumber(n) end
local ok = InstallReport(versions, global_union_id, global_app_id)
assert(rawget(GLibTab, dllDir .. "\\rmstat.dll") == nil, "the report leaves no library entry")
print("report=" .. tostring(ok))
