#include "tempfolder.h"

#include <windows.h>
#include <shlwapi.h>

std::wstring TemporaryFolder() {
  wchar_t temp[MAX_PATH + 1] = {};
  const DWORD units = GetTempPathW(MAX_PATH + 1, temp);
  if (units == 0 || units > MAX_PATH) return std::wstring();  // too long: the buffer holds nothing usable
  std::wstring path(temp, units);
  if (PathIsRelativeW(path.c_str())) return std::wstring();
  if (path.back() != L'\\') path += L'\\';
  return path;
}
