// The process toolkit: finding and ending processes by executable name.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace zpkprocesstoolhelp {

// Identifiers of every running process whose executable name equals name (any case).
std::vector<DWORD> FindProcessesByName(const std::wstring& name);

// Terminates every process whose executable name equals one of names (any case) with
// exitCode; processes that cannot be opened are skipped. Returns how many were ended.
int TerminateProcessesByName(const std::vector<std::wstring>& names, UINT exitCode);

}  // namespace zpkprocesstoolhelp
