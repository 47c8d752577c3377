#include "pathlinks.h"

#include <windows.h>

#include "log/debugoutput.h"

bool IsReparsePoint(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

void ReportLink(const wchar_t* primitive, const std::wstring& link) {
  qd::Output(L"Fun:%ls, Description:%ls is a link, nothing written through it!\r\n", primitive, link.c_str());
}

bool WritableWithoutLinks(const std::wstring& target, const wchar_t* primitive) {
  std::wstring path = target;
  while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  if (IsReparsePoint(path)) {
    ReportLink(primitive, path);
    return false;
  }
  const size_t cut = path.find_last_of(L"\\/");
  if (cut == std::wstring::npos) return true;
  const std::wstring folder = path.substr(0, cut == 2 ? 3 : cut);  // "C:" alone names a current folder
  if (IsReparsePoint(folder)) {
    ReportLink(primitive, folder);
    return false;
  }
  return true;
}
