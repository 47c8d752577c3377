// Bringing resources out of the installer: unpacking a 7z archive (the payload resource
// or a file) into a directory, and writing one resource unchanged into a file.
#pragma once
#include <lua/lua.hpp>

// Lua_UnCompress7z(source, destination [, from_file [, file_callback [, error_callback]]])
int Lua_UnCompress7z(lua_State* L);
// Lua_ExtractResource(type, name, target)
int Lua_ExtractResource(lua_State* L);
