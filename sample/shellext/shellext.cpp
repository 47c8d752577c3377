// RuvanZip's context-menu handler: adds "Open with RuvanZip" for files in Explorer.
// DllRegisterServer/DllUnregisterServer (regsvr32) add and remove the handler's class
// and its entry for all files; DllRegEx(flag) does the same for the uninstaller
// (non-zero registers, zero removes).
#include <windows.h>
#include <shlobj.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <olectl.h>

#include <atomic>
#include <new>
#include <string>

namespace {

// {6F1C2A53-9E4B-4C1D-8A8E-52B0D1F3C7A1}
const CLSID kClsid = {0x6f1c2a53, 0x9e4b, 0x4c1d, {0x8a, 0x8e, 0x52, 0xb0, 0xd1, 0xf3, 0xc7, 0xa1}};
const wchar_t kClsidText[] = L"{6F1C2A53-9E4B-4C1D-8A8E-52B0D1F3C7A1}";
const wchar_t kHandlerKey[] = L"Software\\Classes\\*\\shellex\\ContextMenuHandlers\\RuvanZip";

HMODULE g_module = nullptr;
std::atomic<long> g_objects{0};

std::wstring ModuleDir() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(g_module, path, MAX_PATH);
  PathRemoveFileSpecW(path);
  return path;
}

class ContextMenu : public IShellExtInit, public IContextMenu {
 public:
  ContextMenu() { ++g_objects; }
  virtual ~ContextMenu() { --g_objects; }

  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IShellExtInit) {
      *out = static_cast<IShellExtInit*>(this);
    } else if (riid == IID_IContextMenu) {
      *out = static_cast<IContextMenu*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY) override {
    if (!data) return E_INVALIDARG;
    FORMATETC fmt = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium;
    if (FAILED(data->GetData(&fmt, &medium))) return E_INVALIDARG;
    auto drop = static_cast<HDROP>(GlobalLock(medium.hGlobal));
    wchar_t path[MAX_PATH] = {};
    if (drop && DragQueryFileW(drop, 0, path, MAX_PATH)) file_ = path;
    GlobalUnlock(medium.hGlobal);
    ReleaseStgMedium(&medium);
    return file_.empty() ? E_INVALIDARG : S_OK;
  }

  STDMETHODIMP QueryContextMenu(HMENU menu, UINT index, UINT first, UINT, UINT flags) override {
    if (flags & CMF_DEFAULTONLY) return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
    InsertMenuW(menu, index, MF_BYPOSITION | MF_STRING, first, L"Open with RuvanZip");
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1);
  }
  STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* info) override {
    if (HIWORD(info->lpVerb) != 0 || LOWORD(info->lpVerb) != 0) return E_INVALIDARG;
    std::wstring exe = ModuleDir();
    // shell\RuvanShell.dll lives one level below the program.
    if (!PathFileExistsW((exe + L"\\RuvanZip.exe").c_str())) exe += L"\\..";
    exe += L"\\RuvanZip.exe";
    const std::wstring args = L"\"" + file_ + L"\"";
    ShellExecuteW(info->hwnd, L"open", exe.c_str(), args.c_str(), nullptr, SW_SHOWNORMAL);
    return S_OK;
  }
  STDMETHODIMP GetCommandString(UINT_PTR, UINT, UINT*, CHAR*, UINT) override { return E_NOTIMPL; }

 private:
  std::atomic<ULONG> refs_{1};
  std::wstring file_;
};

class Factory : public IClassFactory {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *out = this;
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }  // static object
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* menu = new (std::nothrow) ContextMenu;
    if (!menu) return E_OUTOFMEMORY;
    HRESULT hr = menu->QueryInterface(riid, out);
    menu->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

Factory g_factory;

bool SetDefault(const std::wstring& subkey, const std::wstring& value, const wchar_t* name = nullptr) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      &key, nullptr))
    return false;
  LONG rc = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

HRESULT Register() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(g_module, path, MAX_PATH);
  const std::wstring clsidKey = std::wstring(L"Software\\Classes\\CLSID\\") + kClsidText;
  bool ok = SetDefault(clsidKey, L"RuvanZip Context Menu") &&
            SetDefault(clsidKey + L"\\InprocServer32", path) &&
            SetDefault(clsidKey + L"\\InprocServer32", L"Apartment", L"ThreadingModel") &&
            SetDefault(kHandlerKey, kClsidText);
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
  return ok ? S_OK : SELFREG_E_CLASS;
}

HRESULT Unregister() {
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, kHandlerKey);
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(L"Software\\Classes\\CLSID\\") + kClsidText).c_str());
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
  return S_OK;
}

}  // namespace

extern "C" {

STDAPI DllRegisterServer() { return Register(); }
STDAPI DllUnregisterServer() { return Unregister(); }

int WINAPI DllRegEx(int registerIt) { return SUCCEEDED(registerIt ? Register() : Unregister()) ? 1 : 0; }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  if (clsid != kClsid) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(riid, out);
}

STDAPI DllCanUnloadNow() { return g_objects == 0 ? S_OK : S_FALSE; }

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) g_module = module;
  return TRUE;
}

}  // extern "C"
