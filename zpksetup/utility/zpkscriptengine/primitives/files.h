// File and directory primitives: thin wrappers around one shell or file call each, plus
// recursive removal and the delete that asks the user when a file is in use.
#pragma once
#include <lua/lua.hpp>

int Lua_CreateDirectory(lua_State* L);
int Lua_CopyFile(lua_State* L);
int Lua_MoveFile(lua_State* L);
int Lua_RenameFile(lua_State* L);
int Lua_DeleteFile(lua_State* L);
int Lua_DeleteFileEx(lua_State* L);
int Lua_DelFileRecursive(lua_State* L);
int Lua_DelFileRecursiveEx(lua_State* L);
int Lua_DeleteFileAfterReboot(lua_State* L);
int Lua_GetTempFileName(lua_State* L);
int Lua_GetTempPath(lua_State* L);
int Lua_ExpandEnv(lua_State* L);
int Lua_PathFileExists(lua_State* L);
int Lua_PathYetAnotherMakeUniqueName(lua_State* L);
