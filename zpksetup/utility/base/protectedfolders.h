// The folders an installer never installs into nor empties (drive and share roots, the
// Windows folder and what lies in it, Program Files, ProgramData, Users, the user's
// profile and its Desktop, Documents, Downloads and the like, and every folder holding
// one of them), found through the shell's known folders and compared by full path
// without regard to case.
#pragma once
#include <string>

#include "folderrules.h"

// The verdict on `path` (expanded, made full, long names of existing parts resolved).
folderrules::Verdict JudgeFolder(const std::wstring& path);

// True when `path` is refused; then writes the debug line "<who>: <path> is <what it is>,
// <consequence>" (for example "Lua_DeleteFile: D:\ is a drive root, nothing deleted").
bool RefuseProtectedFolder(const std::wstring& path, const wchar_t* who, const wchar_t* consequence);
