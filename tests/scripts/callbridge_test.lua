-- The DLL call bridge: GLibTab and DllManager, calls of the project's test DLL in both
-- 32-bit conventions (and wrongly flagged), argument marshalling, result conversions,
-- last-error values, long argument lists, and real system exports.
local arch = arg[1]

local function eq(actual, expected, what)
  if actual ~= expected then
    error(string.format("%s: expected %s, got %s", what, tostring(expected), tostring(actual)), 2)
  end
end

-- Registration: GLibTab starts empty and loads on first use.
local reg = debug.getregistry()
eq(next(GLibTab), nil, "GLibTab empty at start")
eq(getmetatable(GLibTab), reg.GlobalLibTableMetaTable, "GlobalLibTableMetaTable")
eq(type(reg.GlobalLibTableMetaTable.__index), "function", "loading __index")
eq(package.loaded.DllManager, DllManager, "package.loaded.DllManager")
eq(type(DllManager.Load), "function", "DllManager.Load")
eq(reg.DllManagerMetaTable.__index, reg.DllManagerMetaTable, "DllManager methods")

local k32 = GLibTab.kernel32
eq(getmetatable(k32), reg.DllManagerMetaTable, "a DllManager value")
eq(rawget(GLibTab, "kernel32"), k32, "stored under its key")
eq(GLibTab.kernel32, k32, "second access: the same value")
local K32 = GLibTab.Kernel32
eq(K32 ~= nil and K32 ~= k32, true, "another key, another value")
eq(GLibTab.h4_no_such_library, nil, "missing DLL"); eq(rawget(GLibTab, "h4_no_such_library"), nil, "nothing stored")
eq(GLibTab[true], nil, "boolean key")

-- The test DLL lies in tests/bin beside the runner.
local path = WString.New(520)
local n = k32:Get("GetModuleFileNameW", "uint")(nil, path, 520)
eq(n > 0, true, "GetModuleFileNameW")
local dir = tostring(path):match("^(.*)[\\/]")
local dllPath = dir .. "\\tests\\bin\\zpkbridgetest.dll"
local dll = GLibTab[dllPath]
assert(dll, "test DLL not loaded: " .. dllPath)

-- Exports of 0..8 (12, 16) arguments, both conventions, correct and wrong flags.
local arities = { 0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 16 }
local function args(count)
  local t = {}
  for k = 1, count do t[k] = 0x100 * count + k end
  return t
end
for _, count in ipairs(arities) do
  local a = args(count)
  local st = dll:Get("st" .. count, "int")
  local cd = dll:Get("cd" .. count, "int", true)
  local r, e = st(table.unpack(a, 1, count))
  eq(r, 1000 + count, "st" .. count); eq(e, 40000 + count, "st" .. count .. " last error")
  r, e = cd(table.unpack(a, 1, count))
  eq(r, 2000 + count, "cd" .. count); eq(e, 50000 + count, "cd" .. count .. " last error")
  if count > 0 then
    a[count] = a[count] + 1
    eq(st(table.unpack(a, 1, count)), -count, "st" .. count .. " sees its last argument")
    a[count] = a[count] - 1
    a[1] = 0
    eq(cd(table.unpack(a, 1, count)), -1, "cd" .. count .. " sees its first argument")
    a[1] = 0x100 * count + 1
  end
  -- Wrongly flagged: a stdcall export called as cdecl and the reverse still return
  -- here, again and again, with the caller's stack intact.
  local stc = dll:Get("st" .. count, "int", 1)
  local cds = dll:Get("cd" .. count, "int")
  for _ = 1, 50 do
    eq(stc(table.unpack(a, 1, count)), 1000 + count, "st" .. count .. " with the cdecl flag")
    eq(cds(table.unpack(a, 1, count)), 2000 + count, "cd" .. count .. " without the flag")
  end
end

-- Marshalling: one word per argument.
do
  local echo = dll:Get("echo_word", "uint")
  local r, e = echo(nil); eq(r, 0, "nil"); eq(e, 777, "last error")
  eq(echo(true), 1, "true"); eq(echo(false), 0, "false"); eq(echo(7), 7, "7")
  local addr = echo("12")
  eq(addr ~= 12 and addr ~= 0, true, "a string arrives as an address, not as its number")
  eq(echo(-1), 4294967295, "-1 as two's complement")
  eq(dll:Get("is_all_ones", "int")(-1), 1, "-1 fills the whole word")
  eq(dll:Get("is_all_ones", "int")(4294967295), arch == "i686" and 1 or 0, "4294967295")
  local b = RawBuffer.New(16)
  local echop = dll:Get("echo_word", "ptr")
  eq(echop(b), b:OffsetGetAsPointer(0), "a RawBuffer arrives as its first byte")
  eq(echop(b:OffsetGetAsPointer(8)), b:OffsetGetAsPointer(8), "a light userdata as its address")
  local as, ws = AString.New(nil, "x"), WString.New(nil, "y")
  eq(echop(as), RawBuffer.New(1).OffsetGetAsPointer(as, 0), "AString: its first character")
  eq(echop(ws), RawBuffer.New(1).OffsetGetAsPointer(ws, 0), "WString: its first unit")
  local u8, u16 = dll:Get("peek_u8", "uint"), dll:Get("peek_u16", "uint")
  local utf8 = "安装"
  for i = 1, #utf8 do eq(u8(utf8, i - 1), utf8:byte(i), "a string arrives as its UTF-8 bytes " .. i) end
  eq(u8(utf8, #utf8), 0, "NUL-terminated")
  local wide = WString.New(nil, "安装😀")
  local expect = { 0x5B89, 0x88C5, 0xD83D, 0xDE00, 0 }
  for i, unit in ipairs(expect) do eq(u16(wide, i - 1), unit, "WString unit " .. i) end
  -- Forbidden types are script errors (the host's handler ends a real run).
  for _, bad in ipairs({ {}, print, coroutine.create(print) }) do
    local ok, msg = pcall(echo, 1, bad)
    eq(ok, false, type(bad)); eq(msg, "unknow argument type", type(bad) .. " message")
  end
end

-- Result conversions.
do
  local function as(word, export) return dll:Get(export or "all_ones", word)() end
  eq(as("int"), -1, "int"); eq(as("uint"), 4294967295, "uint"); eq(as("bool"), true, "bool")
  eq(type(as("ptr")), "userdata", "ptr")
  eq(as("void"), nil, "void"); eq(as(nil), nil, "nil"); eq(as("INT"), nil, "case-sensitive"); eq(as(5), nil, "number")
  eq(select("#", as("void")), 2, "always two results")
  eq(as("int", "high_garbage"), 0, "int: low 32 bits"); eq(as("bool", "high_garbage"), false, "bool: low 32 bits")
  eq(as("bool", "st0"), true, "non-zero is true")
  local p = as("ptr", "magic_ptr")
  eq(dll:Get("is_magic_ptr", "int")(p), 1, "ptr keeps the whole address")
  local ea, ew = dll:Get("echo_astr", "astr"), dll:Get("echo_wstr", "wstr")
  eq(ea(nil), "", "astr null"); eq(ew(nil), "", "wstr null")
  eq(ew(WString.New(nil, "安装😀")), "安装😀", "wstr converts UTF-16")
  local acp = k32:Get("GetACP", "uint")()
  local text = acp == 936 and "安装" or "café"
  if acp == 936 or acp == 1252 or acp == 65001 then
    eq(ea(AString.New(nil, text)), text, "astr converts the ANSI code page " .. acp)
  end
  eq(ea(AString.New(nil, "plain")), "plain", "astr")
  local _, e = k32:Get("SetLastError")(3758096385)
  eq(e, 3758096385, "the last error as an unsigned number")
  _, e = k32:Get("SetLastError")(-1)
  eq(e, 4294967295, "all ones")
end

-- Out-parameters through RawBuffer.
do
  local write = dll:Get("write_dword", "bool")
  local b = RawBuffer.New(4)
  local r, e = write(b, 0xFFFFFFFF - 4294967296)
  eq(r, true, "write_dword"); eq(e, 0, "last error 0")
  eq(b:OffsetGetAsUInt32(0), 4294967295, "DWORD written"); eq(b:OffsetGetAsInt32(0), -1, "as Int32")
  local s = RawBuffer.New(12)
  write(s:OffsetGetAsPointer(8), 123456)
  eq(s:OffsetGetAsUInt32(8), 123456, "written through OffsetGetAsPointer(8)"); eq(s:OffsetGetAsUInt32(4), 0, "rest untouched")
end

-- Long argument lists: up to the bridge's limit of 256 words.
do
  local sum = dll:Get("sum_varargs", "int", true)
  for _, count in ipairs({ 0, 3, 4, 5, 17, 40, 255 }) do
    local t = { count }
    local want = 0
    for i = 1, count do t[#t + 1] = i * 3; want = want + i * 3 end
    local r, e = sum(table.unpack(t))
    eq(r, want, count .. " variadic words"); eq(e, count, "last error")
  end
  local t = { 256 }
  for i = 1, 256 do t[#t + 1] = i end
  local ok, msg = pcall(sum, table.unpack(t))
  eq(ok, false, "257 words"); eq(tostring(msg):find("too many arguments") ~= nil, true, tostring(msg))
end

-- Get's failures and the DllManager module.
do
  local f, e = dll:Get("no_such_export")
  eq(f, nil, "missing export"); eq(e, 127, "ERROR_PROC_NOT_FOUND")
  f, e = dll:Get(5); eq(f, nil, "number name 5"); eq(e, 127, "127")
  f, e = reg.DllManagerMetaTable.Get({}, "Sleep")
  eq(f, nil, "not a DllManager"); eq(e, "hModule is nil", "message")
  local lib = DllManager.Load(dllPath)
  eq(getmetatable(lib), reg.DllManagerMetaTable, "Load"); eq(lib ~= dll, true, "a new value")
  local st1, z = lib:Get("st1", "int")
  eq(z, 0, "Get's second result"); eq(st1(0x101), 1001, "call through Load's value")
  local none, err = DllManager.Load("h4_no_such_library.dll")
  eq(none, nil, "Load of a missing DLL"); eq(err, 126, "ERROR_MOD_NOT_FOUND")
  eq(DllManager.Load(1, 2, "kernel32") ~= nil, true, "Load takes the last argument")
  eq(lib:UnLoad(), nil, "UnLoad"); eq(reg.DllManagerMetaTable.UnLoad("x"), nil, "UnLoad of anything")
  f, e = lib:Get("st1", "int")
  eq(f, nil, "after UnLoad the value is not loaded"); eq(e, "hModule is nil", "message")
  eq(lib:UnLoad(), nil, "second UnLoad frees nothing")
  eq(dll:Get("st0", "int")(), 1000, "GLibTab's handle still loaded")
end

-- Real system exports through GLibTab.
do
  local r, e = k32:Get("Sleep")(10)
  eq(r, nil, "Sleep returns nil"); eq(type(e), "number", "and the last error")
  local pid = k32:Get("GetCurrentProcessId", "int")()
  eq(pid > 0, true, "GetCurrentProcessId")
  local self = k32:Get("GetCurrentProcess", "ptr")()
  eq(k32:Get("GetProcessId", "int")(self), pid, "the same process through a ptr result")
  local user32 = GLibTab.User32
  local title = "zpk bridge 安装 " .. pid
  local hwnd = user32:Get("CreateWindowExW", "uint")(0, WString.New(nil, "STATIC"), WString.New(nil, title),
    0, 0, 0, 10, 10, nil, nil, nil, nil)
  eq(hwnd ~= 0, true, "CreateWindowExW with twelve arguments")
  local found = user32:Get("FindWindowW", "uint")(WString.New(nil, "Static"), WString.New(nil, title))
  eq(found, hwnd, "FindWindowW finds the window CreateWindowExW made")
  local missing, err = user32:Get("FindWindowW", "int")(WString.New(nil, "h4NoSuchClass"), nil)
  eq(missing, 0, "no such window"); eq(type(err), "number", "last error")
  eq(user32:Get("DestroyWindow", "bool")(hwnd), true, "DestroyWindow")
  local shlwapi = GLibTab.shlwapi
  eq(shlwapi:Get("PathFileExistsW", "bool")(path), true, "PathFileExistsW of the runner")
  eq(shlwapi:Get("PathFileExistsW", "bool")(WString.New(nil, dir .. "\\h4 no such file")), false, "missing file")
  eq(shlwapi:Get("PathFileExistsA", "bool")(dllPath), true, "PathFileExistsA with a plain string")
end

print("callbridge ok")
