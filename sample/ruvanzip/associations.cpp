#include "associations.h"

#include <windows.h>
#include <shlobj.h>

namespace associations {
namespace {

const wchar_t kClasses[] = L"Software\\Classes\\";
const wchar_t kProgId[] = L"RuvanZip.Archive";
const wchar_t* const kExtensions[] = {L".zip", L".7z"};
const wchar_t kBackupValue[] = L"RuvanZip.Backup";

bool SetString(HKEY root, const std::wstring& subkey, const wchar_t* name, const std::wstring& value) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr))
    return false;
  LONG rc = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

std::wstring GetString(HKEY root, const std::wstring& subkey, const wchar_t* name) {
  wchar_t buf[512] = {};
  DWORD bytes = sizeof buf - sizeof(wchar_t);
  if (RegGetValueW(root, subkey.c_str(), name, RRF_RT_REG_SZ, nullptr, buf, &bytes)) return {};
  return buf;
}

}  // namespace

bool Register(const std::wstring& exe) {
  const std::wstring prog = std::wstring(kClasses) + kProgId;
  bool ok = SetString(HKEY_CURRENT_USER, prog, nullptr, L"RuvanZip Archive") &&
            SetString(HKEY_CURRENT_USER, prog + L"\\DefaultIcon", nullptr, L"\"" + exe + L"\",0") &&
            SetString(HKEY_CURRENT_USER, prog + L"\\shell\\open\\command", nullptr,
                      L"\"" + exe + L"\" \"%1\"");
  for (const wchar_t* ext : kExtensions) {
    const std::wstring key = std::wstring(kClasses) + ext;
    const std::wstring previous = GetString(HKEY_CURRENT_USER, key, nullptr);
    if (!previous.empty() && previous != kProgId) SetString(HKEY_CURRENT_USER, key, kBackupValue, previous);
    ok = SetString(HKEY_CURRENT_USER, key, nullptr, kProgId) && ok;
  }
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
  return ok;
}

bool Remove() {
  for (const wchar_t* ext : kExtensions) {
    const std::wstring key = std::wstring(kClasses) + ext;
    if (GetString(HKEY_CURRENT_USER, key, nullptr) != kProgId) continue;
    const std::wstring backup = GetString(HKEY_CURRENT_USER, key, kBackupValue);
    if (backup.empty()) {
      RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    } else {
      SetString(HKEY_CURRENT_USER, key, nullptr, backup);
      RegDeleteKeyValueW(HKEY_CURRENT_USER, key.c_str(), kBackupValue);
    }
  }
  LONG rc = RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(kClasses) + kProgId).c_str());
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

}  // namespace associations
