-- The script runner gives scripts the host's state, its arguments and print.
assert(type(arg) == "table" and arg[0]:match("host_test%.lua$"), "arg[0] is the script")
assert(arg[1] == "x86_64" or arg[1] == "i686", "the arch comes as the first argument")
assert(_VERSION == "Lua 5.2")
assert(bit32.band(0xff, 0x0f) == 0x0f)
assert(package.loaded.string == string)
-- Numbers are doubles; integers survive exactly up to 2^53 in the chunk format.
assert(2^53 + 1 == 2^53, "numbers are doubles: 2^53 + 1 rounds to 2^53")
assert(9007199254740991 == 2^53 - 1 and 2^53 - 1 ~= 2^53, "integers up to 2^53 are exact")
assert(math.floor(3.7) == 3)
-- Text is bytes (UTF-8 by convention).
assert(#"安装" == 6)
-- Errors inside protected calls made by the script itself stay the script's business.
local ok, msg = pcall(error, "inner")
assert(not ok and msg == "inner")
print("host ok")
