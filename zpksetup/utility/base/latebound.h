// Windows functions the import libraries do not name (shell32's ordinal-only exports) or
// that older Windows lacks, each looked up once per process. The one place to find them.
#pragma once
#include <windows.h>

#include <string>

namespace latebound {

// shell32's SHCreateDirectory (ordinal 165), which makes every missing parent. Its result,
// or ERROR_PROC_NOT_FOUND when shell32 does not export it.
int ShellCreateDirectory(const std::wstring& path);

// shell32's PathMakeUniqueName (ordinal 75) into unique (MAX_PATH + 1 units): a free name
// like longTemplate in its folder. False when missing or failing.
bool ShellMakeUniqueName(wchar_t* unique, const std::wstring& longTemplate);

// True for a 32-bit process on 64-bit Windows; false where IsWow64Process is missing.
bool IsWow64();

// RegDeleteKeyExW (deletes a key in a chosen registry view), or null before 64-bit-aware
// Windows versions.
using RegDeleteKeyExFn = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);
RegDeleteKeyExFn RegDeleteKeyEx();

}  // namespace latebound
