-- The script API reference (docs/script-api.md) names exactly what the host registers.
-- Argument: the reference's path. Exits 1 listing every name on one side only.
--
-- Registered names: each global that the standard libraries do not define (a function
-- as `Lua_X`, a table as `T` with its fields as `T.f`), and each metatable the host
-- keeps in the registry, its keys as `T:key` where T is the type whose reference heading
-- names that metatable. An `__index` that is the metatable itself only makes the
-- methods reachable and is no entry of its own.
--
-- Documented names: on every heading, the code spans before " — " are entries (the text
-- up to a "(" is the name); "metatable `M`" after it ties M to the heading's first name.

local docPath = assert(arg[1], "usage: apiref_check.lua REFERENCE.md")

-- Lua 5.2's own globals (LUA_COMPAT_ALL included) and the runner's `arg`.
local standard = {}
for name in ([[_G _VERSION assert collectgarbage dofile error getmetatable ipairs load
  loadfile next pairs pcall print rawequal rawget rawlen rawset require select
  setmetatable tonumber tostring type xpcall coroutine package string table math io os
  bit32 debug unpack loadstring module arg]]):gmatch("%S+") do
  standard[name] = true
end
-- Registry entries the standard libraries make.
local standardRegistry = {_LOADED = true, _PRELOAD = true, ["FILE*"] = true, _CLIBS = true}

-- --- the reference -------------------------------------------------------------------

local documented, aliasOf, where = {}, {}, {}
local f = assert(io.open(docPath, "rb"), "cannot open " .. docPath)
local lineNo, inCode = 0, false
for line in f:lines() do
  lineNo = lineNo + 1
  if line:match("^```") then inCode = not inCode end
  -- A "#" line inside an example is code (a Lua length, a shell comment), no heading.
  local heading = not inCode and line:match("^#+%s+(.*)$")
  if heading then
    local names, rest = heading, ""
    local dash = heading:find(" — ", 1, true)
    if dash then names, rest = heading:sub(1, dash - 1), heading:sub(dash) end
    local first
    for span in names:gmatch("`([^`]+)`") do
      local name = span:match("^([^(%s]+)")
      if name then
        if documented[name] then
          error(("%s:%d: %s is documented twice (first at line %d)"):format(docPath, lineNo, name, where[name]))
        end
        documented[name] = true
        where[name] = lineNo
        first = first or name
      end
    end
    local meta = rest:match("metatable `([^`]+)`")
    if meta then
      assert(first, ("%s:%d: a metatable without a type name"):format(docPath, lineNo))
      aliasOf[meta] = first
    end
  end
end
f:close()

-- --- the host -------------------------------------------------------------------------

local registered, problems = {}, {}
local function add(name) registered[name] = true end

local registry = debug.getregistry()
local metaName = {}  -- metatable -> its registry name
for key, value in pairs(registry) do
  if type(key) == "string" and type(value) == "table" and not standardRegistry[key] then
    metaName[value] = key
  end
end

-- The keys of metatable `mt`, entered under the type T.
local function addMetatable(T, mt)
  for key, value in pairs(mt) do
    if not (key == "__index" and value == mt) then add(T .. ":" .. tostring(key)) end
  end
end

for name, value in pairs(_G) do
  if type(name) == "string" and not standard[name] then
    add(name)
    if type(value) == "table" then
      for field in pairs(value) do add(name .. "." .. tostring(field)) end
      local mt = getmetatable(value)
      -- A metatable of the registry is checked below, under the type its heading names.
      if mt and not metaName[mt] then addMetatable(name, mt) end
    elseif type(value) ~= "function" then
      problems[#problems + 1] = ("global %s is a %s: no entry form for it"):format(name, type(value))
    end
  end
end

for mt, regName in pairs(metaName) do
  local T = aliasOf[regName]
  if not T then
    problems[#problems + 1] = ("metatable %s is named on no heading"):format(regName)
  else
    addMetatable(T, mt)
  end
end
for meta in pairs(aliasOf) do
  local found = false
  for _, regName in pairs(metaName) do found = found or regName == meta end
  if not found then problems[#problems + 1] = ("metatable %s is documented but not registered"):format(meta) end
end

-- --- the comparison -------------------------------------------------------------------

local function sorted(t)
  local out = {}
  for k in pairs(t) do out[#out + 1] = k end
  table.sort(out)
  return out
end

local count = 0
for _, name in ipairs(sorted(registered)) do
  count = count + 1
  if not documented[name] then problems[#problems + 1] = ("registered but not documented: %s"):format(name) end
end
for _, name in ipairs(sorted(documented)) do
  if not registered[name] then
    problems[#problems + 1] = ("documented but not registered: %s (line %d)"):format(name, where[name])
  end
end

-- The walk itself must see the host: a broken walk would otherwise pass with two empty sets.
if not registered.Lua_UnCompress7z or not registered["RawBuffer:OffsetGetAsInt32"] then
  problems[#problems + 1] = "the walk did not find the host's primitives and methods"
end

if #problems > 0 then
  for _, p in ipairs(problems) do io.stderr:write(p, "\n") end
  os.exit(1)
end
print(("script API reference ok: %d names"):format(count))
