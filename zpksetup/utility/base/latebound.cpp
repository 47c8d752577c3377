#include "latebound.h"

namespace latebound {
namespace {

// A module the process keeps for its whole life: loaded if nobody loaded it yet.
HMODULE Module(const wchar_t* name) {
  HMODULE module = GetModuleHandleW(name);
  return module ? module : LoadLibraryW(name);
}

template <typename Fn>
Fn Resolve(const wchar_t* module, const char* nameOrOrdinal) {
  HMODULE handle = Module(module);
  FARPROC proc = handle ? GetProcAddress(handle, nameOrOrdinal) : nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
}

}  // namespace

int ShellCreateDirectory(const std::wstring& path) {
  using Fn = int(WINAPI*)(HWND, LPCWSTR);
  static const Fn fn = Resolve<Fn>(L"shell32.dll", MAKEINTRESOURCEA(165));
  return fn ? fn(nullptr, path.c_str()) : ERROR_PROC_NOT_FOUND;
}

bool ShellMakeUniqueName(wchar_t* unique, const std::wstring& longTemplate) {
  using Fn = BOOL(WINAPI*)(LPWSTR, LPCWSTR, LPCWSTR, LPCWSTR);
  static const Fn fn = Resolve<Fn>(L"shell32.dll", MAKEINTRESOURCEA(75));
  return fn && fn(unique, longTemplate.c_str(), nullptr, nullptr);
}

bool IsWow64() {
  using Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
  static const Fn fn = Resolve<Fn>(L"kernel32.dll", "IsWow64Process");
  BOOL wow64 = FALSE;
  return fn && fn(GetCurrentProcess(), &wow64) && wow64;
}

RegDeleteKeyExFn RegDeleteKeyEx() {
  static const RegDeleteKeyExFn fn = Resolve<RegDeleteKeyExFn>(L"advapi32.dll", "RegDeleteKeyExW");
  return fn;
}

}  // namespace latebound
