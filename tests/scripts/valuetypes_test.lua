-- AString, WString and RawBuffer as scripts use them: capacities, text conversions
-- (non-ASCII through UTF-16 and the ANSI code page), the metamethods' edge cases and
-- the bounds of every access.
local arch = arg[1]
local x64 = arch == "x86_64"

local function eq(actual, expected, what)
  if actual ~= expected then
    error(string.format("%s: expected %s, got %s", what, tostring(expected), tostring(actual)), 2)
  end
end

-- The accessors live in RawBuffer values and take any buffer (dot syntax).
local RB = RawBuffer.New(1)

-- A string value's capacity in units: the positions that read non-nil.
local function capacity(s)
  local n = 0
  while s[n] ~= nil do n = n + 1 end
  return n
end

local function units(ws) -- the UTF-16 units of a WString's block, read through RawBuffer
  local t = {}
  for i = 0, #ws - 1 do t[#t + 1] = RB.OffsetGetAsUInt16(ws, i * 2) end
  return table.concat(t, " ")
end

local function bytes(as, n)
  local t = {}
  for i = 0, (n or #as) - 1 do t[#t + 1] = string.format("%02X", RB.OffsetGetAsUInt8(as, i)) end
  return table.concat(t, " ")
end

-- Registration: globals, package.loaded and the registry's metatables.
do
  local reg = debug.getregistry()
  for _, name in ipairs({ "AString", "WString", "RawBuffer" }) do
    eq(type(_G[name]), "table", name)
    eq(package.loaded[name], _G[name], "package.loaded." .. name)
    eq(type(_G[name].New), "function", name .. ".New")
  end
  eq(getmetatable(AString.New(1)), reg.AStringMetaTable, "AStringMetaTable")
  eq(getmetatable(WString.New(1)), reg.WStringMetaTable, "WStringMetaTable")
  eq(getmetatable(RawBuffer.New(1)), reg.RawBufferMetaTable, "RawBufferMetaTable")
  eq(reg.RawBufferMetaTable.__index, reg.RawBufferMetaTable, "RawBuffer methods")
  eq(type(reg.AStringMetaTable.__index), "function", "AString __index")
  eq(getmetatable(AString.New(1)).__gc, nil, "no finaliser")
end

-- New: capacities, nil results, the terminator always fits.
do
  local w = WString.New(nil, "abc")
  eq(#w, 3, "#WString abc"); eq(tostring(w), "abc", "tostring WString")
  eq(capacity(w), 4, "WString capacity 4 units"); eq(w[3], "", "terminator"); eq(w[4], nil, "beyond the block")
  local a = AString.New(260)
  eq(capacity(a), 260, "AString.New(260)"); eq(#a, 0, "# empty"); eq(a[0], "", "empty s[0]"); eq(a[259], "", "last unit")
  eq(a[260], nil, "a[260]")
  eq(bytes(a, 260):match("^[0 ]+$") ~= nil, true, "260 zero bytes")
  eq(capacity(AString.New(2, "abcd")), 5, "AString.New(2, abcd) capacity")
  eq(AString.New(0), nil, "AString.New(0)"); eq(AString.New(), nil, "AString.New()")
  eq(WString.New(-3), nil, "WString.New(-3)"); eq(WString.New("x"), nil, "non-number capacity")
  local e = AString.New(nil, nil)
  eq(capacity(e), 1, "AString.New(nil, nil)"); eq(#e, 0, "#"); eq(e[0], "", "e[0]"); eq(e[1], nil, "e[1]")
  eq(capacity(WString.New(3, 12.5)), 5, "number init: text 12.5, 5 units")
  eq(tostring(AString.New(1, 42)), "42", "number as its text")
  eq(tostring(AString.New(8, {})), "", "table init is empty")
  -- Units after the terminator are cleared: reads past the text are NUL.
  eq(AString.New(10, "ab")[5], "", "cleared tail")
end

-- __index / __newindex: positions, terminator, length never changes.
do
  local s = AString.New(10, "abc")
  eq(capacity(s), 10, "capacity 10"); eq(#s, 3, "#s")
  s[3] = "x"; eq(tostring(s), "abc", "s[3] is the terminator")
  s[1] = "xyz"; eq(tostring(s), "axc", "first unit of the value")
  s[0] = "z"; eq(tostring(s), "axc", "position 0 is never written")
  s[2] = ""; eq(tostring(s), "axc", "empty value")
  s[2] = 5; eq(tostring(s), "ax5", "number value as its text")
  s[2] = {}; eq(tostring(s), "ax5", "table value")
  s[9] = "q"; s[10] = "q"; s[2 ^ 31 - 1] = "q"; s[-5] = "q"
  eq(tostring(s), "ax5", "positions beyond the text"); eq(#s, 3, "length kept")
  eq(s[-1], nil, "negative position"); eq(s[0], "a", "s[0]"); eq(s["1"], "x", "numeric string key")
  eq(s.name, "a", "a non-number key reads position 0")
  eq(s[10], nil, "s[capacity]"); eq(s[2 ^ 31 - 1], nil, "far beyond")
  local w = WString.New(3)
  eq(w[2], ""); eq(w[3], nil, "WString beyond the block"); eq(w[1000000], nil, "far beyond")
  w[1] = "x"; eq(#w, 0, "empty WString stays empty")
end

-- __eq and __concat.
do
  eq(AString.New(nil, "ab") == AString.New(nil, "ab"), true, "AString ==")
  eq(AString.New(nil, "ab") == AString.New(10, "ab"), true, "capacity does not matter")
  eq(AString.New(nil, "ab") == AString.New(nil, "aB"), false, "case matters")
  eq(WString.New(nil, "ab") == WString.New(nil, "ab"), true, "WString ==")
  eq(WString.New(nil, "ab") == AString.New(nil, "ab"), false, "WString vs AString")
  eq(WString.New(nil, "ab") == "ab", false, "WString vs string")
  local wmeta, ameta = getmetatable(WString.New(1)), getmetatable(AString.New(1))
  local c = WString.New(nil, "a") .. 5
  eq(getmetatable(c), wmeta, "WString .. number is a WString"); eq(tostring(c), "a5", "a5"); eq(capacity(c), 3, "exact size")
  c = AString.New(nil, "a") .. nil
  eq(getmetatable(c), ameta, "AString .. nil"); eq(tostring(c), "a", "copy of a")
  c = "x" .. WString.New(nil, "y")
  eq(getmetatable(c), wmeta, "string .. WString"); eq(tostring(c), "xy", "xy")
  c = AString.New(nil, "p") .. WString.New(nil, "q")
  eq(getmetatable(c), ameta, "AString .. WString is an AString"); eq(tostring(c), "pq", "pq")
  c = (WString.New(nil, "p") .. {}) .. true
  eq(tostring(c), "p", "tables and booleans add nothing")
end

-- Non-ASCII text: UTF-16 exactly, ANSI as the thread's code page makes it.
do
  local w = WString.New(nil, "安装é")
  eq(#w, 3, "# in UTF-16 units"); eq(units(w), "23433 35013 233", "UTF-16 units")
  eq(tostring(w), "安装é", "round trip"); eq(w[0], "安", "w[0]"); eq(w[2], "é", "w[2]")
  w[1] = "程序"; eq(tostring(w), "安程é", "wide replacement")
  local emoji = WString.New(nil, "a😀")
  eq(#emoji, 3, "surrogate pair is two units"); eq(units(emoji), "97 55357 56832", "surrogates")
  eq(tostring(emoji), "a😀", "pair round trip")

  local acp = GLibTab.kernel32:Get("GetACP", "uint")()
  local e = AString.New(nil, "é")
  eq(tostring(AString.New(nil, WString.New(nil, "abc"))), "abc", "AString from WString")
  if acp == 1252 then
    eq(bytes(e), "E9", "é in cp1252"); eq(tostring(e), "é", "back to UTF-8"); eq(e[0], "é", "e[0]")
    local q = AString.New(nil, "安")
    eq(bytes(q), "3F", "outside the code page: default character"); eq(tostring(q), "?", "?")
    eq(tostring(WString.New(nil, AString.New(nil, "café"))), "café", "WString from AString")
  elseif acp == 936 then
    local g = AString.New(nil, "安装")
    eq(bytes(g), "B0 B2 D7 B0", "GBK bytes"); eq(#g, 4, "# bytes"); eq(tostring(g), "安装", "back")
    eq(g[0], "\xEF\xBF\xBD", "a lead byte alone is no character")
  elseif acp == 65001 then
    eq(bytes(e), "C3 A9", "UTF-8 code page"); eq(tostring(e), "é", "back")
  end
  eq(tostring(AString.New(nil, WString.New(nil, "é"))), tostring(e), "AString from WString, non-ASCII")
  print("ANSI code page " .. acp)
end

-- RawBuffer: sizes, widths, signedness, conversions.
do
  eq(RawBuffer.New(0), nil, "New(0)"); eq(RawBuffer.New(), nil, "New()")
  local b = RawBuffer.New(16)
  eq(b:OffsetGetAsUInt8(15), 0, "size"); eq(b:OffsetGetAsUInt8(16), nil, "size"); eq(b:OffsetGetAsUInt32(12), 0, "zero-filled")
  b:OffsetSetAsUInt32(0, 4294967295)
  eq(b:OffsetGetAsInt32(0), -1, "Int32 of FF FF FF FF"); eq(b:OffsetGetAsUInt32(0), 4294967295, "UInt32")
  b:OffsetSetAsUInt32(0, 0); b:OffsetSetAsUInt32(0, -1)
  eq(b:OffsetGetAsUInt32(0), 4294967295, "-1 modulo 2^32")
  b:OffsetSetAsInt32(4, -2); eq(bytes(b, 8), "FF FF FF FF FE FF FF FF", "Int32 -2")
  b:OffsetSetAsUInt32(1, 0x1234ABCD) -- unaligned
  eq(bytes(b, 6), "FF CD AB 34 12 FF", "little-endian, unaligned")
  eq(b:OffsetGetAsUInt16(1), 0xABCD, "UInt16"); eq(b:OffsetGetAsInt16(1), -21555, "Int16")
  eq(b:OffsetGetAsUInt8(2), 0xAB, "UInt8"); eq(b:OffsetGetAsInt8(2), -85, "Int8")
  b:OffsetSetAsInt16(0, -1); b:OffsetSetAsUInt16(2, 65537); b:OffsetSetAsInt8(4, 300); b:OffsetSetAsUInt8(5, -1)
  eq(bytes(b, 6), "FF FF 01 00 2C FF", "low bits of 16 and 8")
  b:OffsetSetAsBoolean(8, 0); eq(b:OffsetGetAsInt32(8), 1, "the number 0 is true")
  eq(b:OffsetGetAsBoolean(8), true, "Boolean")
  b:OffsetSetAsBoolean(8, false); eq(b:OffsetGetAsInt32(8), 0, "false"); eq(b:OffsetGetAsBoolean(8), false, "false")
  b:OffsetSetAsBoolean(8, nil); eq(b:OffsetGetAsInt32(8), 0, "nil")
  -- OffsetGetAsPointer is the address of the byte itself, usable through any RawBuffer.
  b:OffsetSetAsUInt32(8, 0xCAFE)
  local p = b:OffsetGetAsPointer(8)
  eq(type(p), "userdata", "light userdata"); eq(RB.OffsetGetAsUInt32(p, 0), 0xCAFE, "through the pointer")
  RB.OffsetSetAsUInt16(p, 2, 0xBEEF); eq(b:OffsetGetAsUInt32(8), 0xBEEFCAFE, "write through the pointer")
  eq(b:OffsetGetAsPointer(0) ~= p, true, "another byte, another address")
  -- Text setters copy a whole userdata block; getters read up to the terminator.
  local t = RawBuffer.New(32)
  t:OffsetSetAsWString(2, WString.New(nil, "hé"))
  eq(t:OffsetGetAsWString(2), "hé", "WString block"); eq(t:OffsetGetAsUInt16(8), 0, "3 units copied")
  t:OffsetSetAsAString(20, AString.New(nil, "ab"))
  eq(t:OffsetGetAsAString(20), "ab", "AString block")
  t:OffsetSetAsWString(12, "xy") -- a script string: its text with a terminator
  eq(t:OffsetGetAsWString(12), "xy", "string as UTF-16")
  t:OffsetSetAsAString(26, "q")
  eq(t:OffsetGetAsAString(26), "q", "string as ANSI")
  local before = bytes(t, 32)
  t:OffsetSetAsWString(0, nil); t:OffsetSetAsWString(0, 5); t:OffsetSetAsAString(0, p)
  eq(bytes(t, 32), before, "nil, numbers and light userdata copy nothing")
  -- Pointers have the target's width.
  local ptrs = RawBuffer.New(8)
  ptrs:OffsetSetAsPointer(0, t)
  eq(ptrs:OffsetGetAsUInt32(0) ~= 0, true, "an address was stored")
  ptrs:OffsetSetAsPointer(0, nil); eq(ptrs:OffsetGetAsUInt32(0) + ptrs:OffsetGetAsUInt32(4), 0, "nil stores 0")
  ptrs:OffsetSetAsPointer(4, t)
  eq(ptrs:OffsetGetAsUInt32(4) ~= 0, not x64, "4 bytes left: fits only a 32-bit pointer")
end

-- Bounds: accesses that would leave a full userdata's block read nil and write nothing.
do
  local b = RawBuffer.New(4)
  b:OffsetSetAsUInt32(0, 0x04030201)
  eq(b:OffsetGetAsUInt32(1), nil, "4 bytes at 1"); eq(b:OffsetGetAsUInt16(3), nil, "2 bytes at 3")
  eq(b:OffsetGetAsUInt8(3), 4, "last byte"); eq(b:OffsetGetAsUInt8(4), nil, "one past")
  eq(b:OffsetGetAsInt32(-1), nil, "negative"); eq(b:OffsetGetAsInt8(2 ^ 31 - 1), nil, "far")
  eq(b:OffsetGetAsBoolean(2), nil, "Boolean at 2")
  eq(b:OffsetGetAsPointer(4) ~= nil, true, "one past the end is an address")
  eq(b:OffsetGetAsPointer(5), nil, "beyond it is not"); eq(b:OffsetGetAsPointer(-1), nil, "nor before")
  b:OffsetSetAsUInt32(1, 0); b:OffsetSetAsUInt16(3, 0); b:OffsetSetAsInt8(4, 0); b:OffsetSetAsInt32(-4, 0)
  b:OffsetSetAsBoolean(2, true); b:OffsetSetAsInt8(-2 ^ 31, 0)
  b:OffsetSetAsPointer(1, b)
  b:OffsetSetAsWString(0, WString.New(nil, "abc")) -- 8 bytes into 4
  b:OffsetSetAsAString(2, "abc")
  eq(b:OffsetGetAsUInt32(0), 0x04030201, "refused writes changed nothing")
  b:OffsetSetAsAString(1, "ab"); eq(bytes(b, 4), "01 61 62 00", "a copy that fits")
  -- Text reads stop at the block's end when the terminator is gone.
  local w = RawBuffer.New(4)
  w:OffsetSetAsUInt16(0, 0x41); w:OffsetSetAsUInt16(2, 0x42)
  eq(w:OffsetGetAsWString(0), "AB", "no terminator in the block"); eq(w:OffsetGetAsWString(4), "", "at the end")
  w:OffsetSetAsUInt32(0, 0x64636261)
  eq(w:OffsetGetAsAString(1), "bcd", "AString to the end")
  local s = AString.New(nil, "ab")
  RB.OffsetSetAsUInt8(s, 2, 0x63) -- overwrite the terminator
  eq(#s, 3, "length ends at the block"); eq(tostring(s), "abc", "text ends at the block")
  eq(tostring(s .. "d"), "abcd", "concat"); eq(s == AString.New(nil, "abc"), true, "compare")
  s[1] = "x"; eq(tostring(s), "axc", "write inside")
  local ws = WString.New(nil, "a")
  RB.OffsetSetAsUInt16(ws, 2, 0x62)
  eq(#ws, 2, "WString without terminator"); eq(tostring(ws), "ab", "WString text")
  -- No buffer at all: a null address is never read or written.
  eq(RB.OffsetGetAsUInt32(nil, 0), nil, "nil buffer"); eq(RB.OffsetGetAsInt8(5, 0), nil, "number")
  RB.OffsetSetAsUInt32(nil, 0, 1); RB.OffsetSetAsWString(nil, 0, ws)
  eq(b:OffsetGetAsUInt32(), nil, "too few arguments")
end

-- A capacity that cannot be allocated is Lua's memory error.
do
  local ok, msg = pcall(WString.New, x64 and 2 ^ 62 or 2 ^ 31 - 1)
  eq(ok, false, "huge WString"); eq(tostring(msg):find("memory") ~= nil, true, "memory error: " .. tostring(msg))
end

print("valuetypes ok")
