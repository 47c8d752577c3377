// RawBuffer: a zero-filled byte buffer that native functions fill (out-parameters,
// structures), with twenty typed accessors at byte offsets. Global module table
// RawBuffer = { New }.
//
// The accessors take the buffer from the argument before the offset (getters) or
// before offset and value (setters) and accept any userdata there: a full userdata's
// block, or a light userdata's address (a pointer a native function returned). Accesses
// that would leave the block of a full userdata, and any access through a null
// address, are refused: getters return nil, setters change nothing. Light-userdata
// addresses cannot be checked and are used as they are.
#pragma once
#include <lua/lua.hpp>

int luaopen_RawBuffer(lua_State* L);
