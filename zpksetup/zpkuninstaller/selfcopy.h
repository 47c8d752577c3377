// An uninstaller cannot delete the folder it runs from: it runs from a copy of itself
// in the temporary folder, and the original removes that copy when it is done.
#pragma once
#include <windows.h>

#include <string>

// Copies program into a new folder under %TEMP%; false when that is not possible.
bool MakeTemporaryCopy(const std::wstring& program, std::wstring& copy);
// Runs exe with the argument line, waits for it and gives its exit code (1 when it
// could not be started).
DWORD RunAndWait(const std::wstring& exe, const std::wstring& arguments);
// Deletes the copy and its folder; what cannot go now is deleted at the next restart.
void RemoveTemporaryCopy(const std::wstring& copy);
