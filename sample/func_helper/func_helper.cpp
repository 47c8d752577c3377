// func_helper.dll: the product's helper exports that the install script calls through
// the DLL bridge (standard calling convention, wide strings).
#include <windows.h>
#include <aclapi.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wincrypt.h>

#include <string>
#include <vector>

#define HELPER_EXPORT extern "C" __declspec(dllexport)

namespace {

// The product's key under HKCU, given by the install script (SetProductKey) before it
// records anything: the library itself belongs to no product.
std::wstring& ProductKey() {
  static std::wstring key;
  return key;
}

// The version the system really runs (GetVersionEx lies to programs without a manifest).
bool RealVersion(DWORD& major, DWORD& minor) {
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  auto fn = reinterpret_cast<RtlGetVersionFn>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion"));
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!fn || fn(&info) != 0) return false;
  major = info.dwMajorVersion;
  minor = info.dwMinorVersion;
  return true;
}

std::vector<BYTE> ReadAll(const wchar_t* path) {
  std::vector<BYTE> bytes;
  HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return bytes;
  LARGE_INTEGER size;
  if (GetFileSizeEx(f, &size) && size.QuadPart > 0 && size.QuadPart < (1 << 20)) {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!ReadFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
        read != bytes.size())
      bytes.clear();
  }
  CloseHandle(f);
  return bytes;
}

// COM for the calling thread, released again only when this call started it.
struct ComScope {
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ~ComScope() {
    if (SUCCEEDED(hr)) CoUninitialize();
  }
};

void SetString(HKEY key, const wchar_t* name, const wchar_t* value) {
  const wchar_t* v = value ? value : L"";
  RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(v),
                 static_cast<DWORD>((wcslen(v) + 1) * sizeof(wchar_t)));
}

}  // namespace

HELPER_EXPORT BOOL WINAPI IsOSWin7() {
  DWORD major = 0, minor = 0;
  return RealVersion(major, minor) && major == 6 && minor == 1;
}

// Imports the DER certificate at path into the machine's trusted root store.
HELPER_EXPORT BOOL WINAPI ImportCertificate(const wchar_t* path) {
  if (!path) return FALSE;
  std::vector<BYTE> der = ReadAll(path);
  if (der.empty()) return FALSE;
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                   CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT");
  if (!store) return FALSE;
  BOOL ok = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(),
                                             static_cast<DWORD>(der.size()),
                                             CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  CertCloseStore(store, 0);
  return ok;
}

// Gives the Users group modify rights on dir and everything below it.
HELPER_EXPORT BOOL WINAPI AllowAccountPrivilege(const wchar_t* dir) {
  if (!dir || !*dir) return FALSE;
  PSID users = nullptr;
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS, 0, 0,
                                0, 0, 0, 0, &users))
    return FALSE;
  PACL oldAcl = nullptr, newAcl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  BOOL ok = FALSE;
  if (GetNamedSecurityInfoW(dir, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                            &oldAcl, nullptr, &sd) == ERROR_SUCCESS) {
    EXPLICIT_ACCESSW access{};
    access.grfAccessPermissions = FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;
    access.grfAccessMode = GRANT_ACCESS;
    access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_GROUP;
    access.Trustee.ptstrName = static_cast<LPWSTR>(users);
    if (SetEntriesInAclW(1, &access, oldAcl, &newAcl) == ERROR_SUCCESS) {
      ok = SetNamedSecurityInfoW(const_cast<wchar_t*>(dir), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                 nullptr, nullptr, newAcl, nullptr) == ERROR_SUCCESS;
      LocalFree(newAcl);
    }
    LocalFree(sd);
  }
  FreeSid(users);
  return ok;
}

// "<Desktop>\<name>.lnk" starting exe. The window class is part of the call's signature;
// the link itself does not need it.
HELPER_EXPORT void WINAPI CreateDesktopShortcut(const wchar_t* exe, const wchar_t* windowClass,
                                                const wchar_t* name) {
  if (!exe || !name || !*name) return;
  wchar_t desktop[MAX_PATH];
  if (!SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, TRUE)) return;
  std::wstring dir = exe;
  dir = dir.substr(0, dir.find_last_of(L'\\'));
  ComScope com;
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link))))
    return;
  link->SetPath(exe);
  link->SetWorkingDirectory(dir.c_str());
  link->SetDescription(name);
  link->SetIconLocation(exe, 0);
  (void)windowClass;
  IPersistFile* file = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    const std::wstring path = std::wstring(desktop) + L"\\" + name + L".lnk";
    file->Save(path.c_str(), TRUE);
    file->Release();
  }
  link->Release();
}

// Names the product's registry key (for example "SOFTWARE\\Hello") under HKCU for the
// calls that record something there.
HELPER_EXPORT void WINAPI SetProductKey(const wchar_t* subkey) { ProductKey() = subkey ? subkey : L""; }

// Records the installation's identity for the program under the product key; nothing
// without one.
HELPER_EXPORT void WINAPI SetUsageCount(const wchar_t* confUrl, const wchar_t* version,
                                        const wchar_t* appId, const wchar_t* unionId,
                                        const wchar_t* regGuid) {
  if (ProductKey().empty()) return;
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, ProductKey().c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_QUERY_VALUE,
                      nullptr, &key, nullptr) != ERROR_SUCCESS)
    return;
  SetString(key, L"UsageConfUrl", confUrl);
  SetString(key, L"UsageVersion", version);
  SetString(key, L"UsageAppId", appId);
  SetString(key, L"UsageUnionId", unionId);
  SetString(key, L"UsageRegGuid", regGuid);
  DWORD count = 0, bytes = sizeof count;
  RegQueryValueExW(key, L"UsageCount", nullptr, nullptr, reinterpret_cast<BYTE*>(&count), &bytes);
  ++count;
  RegSetValueExW(key, L"UsageCount", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count), sizeof count);
  RegCloseKey(key);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, void*) { return TRUE; }
