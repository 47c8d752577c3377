// Uninstall.exe: started from the installation directory, it copies itself to the
// temporary folder, runs the copy there (which removes the product, this directory
// included) and waits for it, then removes the copy.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "selfcopy.h"
#include "uninstallargs.h"
#include "uninstallrun.h"

namespace {

std::vector<std::wstring> Arguments() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::wstring> args;
  for (int i = 1; argv && i < argc; ++i) args.emplace_back(argv[i]);
  LocalFree(argv);
  return args;
}

std::wstring SelfPath() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  UninstallArgs args = ParseUninstallArgs(Arguments());
  if (!args.installDir.empty()) return RunUninstall(args);

  const std::wstring self = SelfPath();
  args.origin = self;
  args.installDir = self.substr(0, self.find_last_of(L'\\'));
  std::wstring copy;
  if (!MakeTemporaryCopy(self, copy)) return RunUninstall(args);  // removal goes on in place
  DWORD code = RunAndWait(copy, CopyCommandLine(args));
  RemoveTemporaryCopy(copy);
  return static_cast<int>(code);
}
