// The sample product's programs and DLLs do for real what the install and uninstall
// scripts ask of them.
#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>
#include <wincrypt.h>

#include <string>

#include "testutil.h"

namespace {

std::wstring Payload() { return ModuleDir() + L"\\..\\..\\payload"; }

DWORD RunAndWait(const std::wstring& exe, const std::wstring& args) {
  std::wstring cmd = L"\"" + exe + L"\" " + args;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return 0xFFFFFFFF;
  WaitForSingleObject(pi.hProcess, 60000);
  DWORD code = 0xFFFFFFFE;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  return code;
}

std::wstring RegText(HKEY root, const std::wstring& key, const wchar_t* name) {
  wchar_t buf[1024] = {};
  DWORD bytes = sizeof buf - sizeof(wchar_t);
  if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buf, &bytes) != ERROR_SUCCESS)
    return L"<absent>";
  return buf;
}

// The top-level window of the given class that belongs to the given process.
HWND ProcessWindow(DWORD pid, const wchar_t* cls) {
  HWND wnd = nullptr;
  while ((wnd = FindWindowExW(nullptr, wnd, cls, nullptr)) != nullptr) {
    DWORD owner = 0;
    GetWindowThreadProcessId(wnd, &owner);
    if (owner == pid) return wnd;
  }
  return nullptr;
}

bool KeyExists(HKEY root, const std::wstring& key) {
  HKEY k = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
  RegCloseKey(k);
  return true;
}

template <typename Fn>
Fn Export(HMODULE m, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(m, name)));
}

}  // namespace

TEST(SampleProduct, MainProgramRegistersAndRemovesItsAssociations) {
  const std::wstring exe = Payload() + L"\\RuvanZip.exe";
  // Another program's association of .7z must come back after removal.
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes\\.7z", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &k, nullptr), ERROR_SUCCESS);
  const wchar_t other[] = L"Other.7z";
  RegSetValueExW(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(other), sizeof other);
  RegCloseKey(k);

  ASSERT_EQ(RunAndWait(exe, L"sp Asso"), 0u);
  EXPECT_EQ(RegText(HKEY_CURRENT_USER, L"Software\\Classes\\.zip", nullptr), L"RuvanZip.Archive");
  EXPECT_EQ(RegText(HKEY_CURRENT_USER, L"Software\\Classes\\.7z", nullptr), L"RuvanZip.Archive");
  const std::wstring command =
      RegText(HKEY_CURRENT_USER, L"Software\\Classes\\RuvanZip.Archive\\shell\\open\\command", nullptr);
  EXPECT_NE(command.find(L"RuvanZip.exe\" \"%1\""), std::wstring::npos) << command;

  ASSERT_EQ(RunAndWait(exe, L"sp unAsso"), 0u);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\.zip"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\RuvanZip.Archive"));
  EXPECT_EQ(RegText(HKEY_CURRENT_USER, L"Software\\Classes\\.7z", nullptr), L"Other.7z");
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Classes\\.7z");
}

TEST(SampleProduct, MainProgramOpensItsWindow) {
  const std::wstring exe = Payload() + L"\\RuvanZip.exe";
  std::wstring cmd = L"\"" + exe + L"\" /menu";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  // Another copy of the program (started by an earlier install in this prefix) may own a
  // window of the same class: look for ours only, and never leave ours running.
  HWND wnd = nullptr;
  for (int i = 0; i < 300 && !wnd; ++i, Sleep(100)) wnd = ProcessWindow(pi.dwProcessId, L"RuvanZipWnd");
  EXPECT_NE(wnd, nullptr);
  if (wnd) PostMessageW(wnd, WM_CLOSE, 0, 0);
  const DWORD closed = WaitForSingleObject(pi.hProcess, 30000);
  EXPECT_TRUE(wnd && closed == WAIT_OBJECT_0) << "the window closes its program";
  if (closed != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
}

TEST(SampleProduct, ServiceInstallsStartsAndUninstalls) {
  const std::wstring exe = Payload() + L"\\RzSrv.exe";
  ASSERT_EQ(RunAndWait(exe, L"--install"), 0u);
  SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(scm, nullptr);
  SC_HANDLE svc = OpenServiceW(scm, L"RzSvc", SERVICE_ALL_ACCESS);
  ASSERT_NE(svc, nullptr);
  SERVICE_STATUS status{};
  for (int i = 0; i < 100; ++i, Sleep(100)) {
    QueryServiceStatus(svc, &status);
    if (status.dwCurrentState == SERVICE_RUNNING) break;
  }
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
  BYTE buf[8192];
  DWORD needed = 0;
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buf);
  ASSERT_TRUE(QueryServiceConfigW(svc, config, sizeof buf, &needed));
  EXPECT_EQ(config->dwStartType, static_cast<DWORD>(SERVICE_AUTO_START));
  EXPECT_NE(std::wstring(config->lpBinaryPathName).find(L"RzSrv.exe"), std::wstring::npos);
  CloseServiceHandle(svc);
  CloseServiceHandle(scm);

  ASSERT_EQ(RunAndWait(exe, L"--uninstall"), 0u);
  scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  // A service marked for deletion goes once its process has stopped.
  for (int i = 0; i < 100; ++i, Sleep(100)) {
    svc = OpenServiceW(scm, L"RzSvc", SERVICE_QUERY_STATUS);
    if (!svc) break;
    CloseServiceHandle(svc);
  }
  EXPECT_EQ(svc, nullptr);
  CloseServiceHandle(scm);
}

TEST(SampleProduct, HelperDllDoesWhatItsExportsSay) {
  HMODULE dll = LoadLibraryW((Payload() + L"\\func_helper.dll").c_str());
  ASSERT_NE(dll, nullptr);
  auto isWin7 = Export<BOOL(WINAPI*)()>(dll, "IsOSWin7");
  auto importCert = Export<BOOL(WINAPI*)(const wchar_t*)>(dll, "ImportCertificate");
  auto allow = Export<BOOL(WINAPI*)(const wchar_t*)>(dll, "AllowAccountPrivilege");
  auto shortcut = Export<void(WINAPI*)(const wchar_t*, const wchar_t*, const wchar_t*)>(dll, "CreateDesktopShortcut");
  auto usage = Export<void(WINAPI*)(const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*,
                                    const wchar_t*)>(dll, "SetUsageCount");
  ASSERT_TRUE(isWin7 && importCert && allow && shortcut && usage);

  EXPECT_FALSE(isWin7());  // the test prefix reports Windows 10

  ASSERT_TRUE(importCert((Payload() + L"\\http.cer").c_str()));
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT");
  ASSERT_NE(store, nullptr);
  PCCERT_CONTEXT cert = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_STR_W,
                                                   L"RuvanZip Sample Root", nullptr);
  EXPECT_NE(cert, nullptr);
  if (cert) CertFreeCertificateContext(cert);
  CertCloseStore(store, 0);
  EXPECT_FALSE(importCert(L"C:\\no\\such.cer"));

  TempDir dir;
  EXPECT_TRUE(allow(dir.path().c_str()));
  EXPECT_FALSE(allow(L""));

  wchar_t desktop[MAX_PATH];
  ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, TRUE));
  const std::wstring link = std::wstring(desktop) + L"\\RuvanZip 测试.lnk";
  DeleteFileW(link.c_str());
  shortcut((Payload() + L"\\RuvanZip.exe").c_str(), L"RuvanZipWnd", L"RuvanZip 测试");
  EXPECT_TRUE(FileExists(link));
  DeleteFileW(link.c_str());

  // Without a product key the library records nothing: it belongs to no product.
  auto productKey = Export<void(WINAPI*)(const wchar_t*)>(dll, "SetProductKey");
  ASSERT_TRUE(productKey);
  RegDeleteKeyValueW(HKEY_CURRENT_USER, L"SOFTWARE\\RuvanZip", L"UsageVersion");
  usage(L"", L"9.9.9.9", L"7", L"1", L"");
  EXPECT_EQ(RegText(HKEY_CURRENT_USER, L"SOFTWARE\\RuvanZip", L"UsageVersion"), L"<absent>");
  productKey(L"SOFTWARE\\RuvanZip");
  RegDeleteKeyValueW(HKEY_CURRENT_USER, L"SOFTWARE\\RuvanZip", L"UsageCount");
  usage(L"", L"1.2.3.4", L"7", L"26105", L"");
  usage(L"", L"1.2.3.4", L"7", L"26105", L"");
  EXPECT_EQ(RegText(HKEY_CURRENT_USER, L"SOFTWARE\\RuvanZip", L"UsageVersion"), L"1.2.3.4");
  EXPECT_EQ(RegText(HKEY_CURRENT_USER, L"SOFTWARE\\RuvanZip", L"UsageUnionId"), L"26105");
  DWORD count = 0, bytes = sizeof count;
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, L"SOFTWARE\\RuvanZip", L"UsageCount", RRF_RT_REG_DWORD,
                         nullptr, &count, &bytes), ERROR_SUCCESS);
  EXPECT_EQ(count, 2u);
  FreeLibrary(dll);
}

TEST(SampleProduct, ShellExtensionRegistersItsContextMenu) {
  HMODULE dll = LoadLibraryW((Payload() + L"\\IShellExt.dll").c_str());
  ASSERT_NE(dll, nullptr);
  auto reg = Export<HRESULT(WINAPI*)()>(dll, "DllRegisterServer");
  auto unreg = Export<HRESULT(WINAPI*)()>(dll, "DllUnregisterServer");
  auto regEx = Export<int(WINAPI*)(int)>(dll, "DllRegEx");
  auto getClass = Export<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(dll, "DllGetClassObject");
  ASSERT_TRUE(reg && unreg && regEx && getClass);
  const wchar_t handler[] = L"Software\\Classes\\*\\shellex\\ContextMenuHandlers\\RuvanZip";
  const std::wstring clsid = L"{6F1C2A53-9E4B-4C1D-8A8E-52B0D1F3C7A1}";

  ASSERT_EQ(reg(), S_OK);
  EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, handler, nullptr), clsid);
  const std::wstring server =
      RegText(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID\\" + clsid + L"\\InprocServer32", nullptr);
  EXPECT_NE(server.find(L"IShellExt.dll"), std::wstring::npos) << server;

  // The registered class really builds a context menu with one item.
  CLSID id;
  ASSERT_EQ(CLSIDFromString(clsid.c_str(), &id), S_OK);
  IClassFactory* factory = nullptr;
  ASSERT_EQ(getClass(id, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  IContextMenu* menu = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&menu)), S_OK);
  HMENU popup = CreatePopupMenu();
  EXPECT_EQ(HRESULT_CODE(menu->QueryContextMenu(popup, 0, 100, 200, CMF_NORMAL)), 1);
  EXPECT_EQ(GetMenuItemCount(popup), 1);
  DestroyMenu(popup);
  menu->Release();

  ASSERT_EQ(unreg(), S_OK);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, handler));
  EXPECT_EQ(regEx(1), 1);
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, handler));
  EXPECT_EQ(regEx(0), 1);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, handler));
  FreeLibrary(dll);
}
