// The uninstaller's command line. Portable: no Windows calls.
//   /S                 silent: no window, no questions
//   /reason=IDS        reason ids for the feedback report (silent mode)
//   /contact=TEXT      contact text for the feedback report
//   /suggest=TEXT      suggestion text for the feedback report
//   /clearuserdata     also remove the per-user data folder
//   /_dir=PATH         (internal) the installation directory, given to the temporary copy
//   /_origin=PATH      (internal) the uninstaller file the copy was made from
#pragma once
#include <optional>
#include <string>
#include <vector>

struct UninstallArgs {
  bool silent = false;
  bool clearUserData = false;
  std::optional<std::wstring> reason, contact, suggest;
  std::wstring installDir;  // empty in the first process
  std::wstring origin;
};

// args: the arguments after the program name.
UninstallArgs ParseUninstallArgs(const std::vector<std::wstring>& args);
// The arguments that hand the same choices on to the temporary copy.
std::wstring CopyCommandLine(const UninstallArgs& args);
