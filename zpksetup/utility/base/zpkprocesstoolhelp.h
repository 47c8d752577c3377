// The process toolkit: finding processes by executable name, ending them (asking first),
// token privileges, and turning the device form of an image path into a drive path.
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "handles.h"

namespace zpkprocesstoolhelp {

// Terminates every process whose executable name equals one of names (any case) with
// exitCode; processes that cannot be opened are skipped. Returns how many were ended.
int TerminateProcessesByName(const std::vector<std::wstring>& names, UINT exitCode);

// "No such process", as the scripts see it.
constexpr DWORD kNoProcess = static_cast<DWORD>(-1);

// How long ending a process waits for it, before and after terminating it.
constexpr DWORD kEndWaitMs = 3000;

// Ends a process: its top-level windows are asked to close, and after kEndWaitMs it is
// terminated with exit code 0. True when the process is gone afterwards (or never
// existed); identifier 0 is true at once. The installer's own process is never ended
// (false), so a script that names its own executable cannot cut itself off.
bool EndProcess(DWORD pid);

// Enables or disables a privilege of this process's token. False when the token does
// not hold the privilege at all, besides the failures of the calls.
bool EnablePrivilege(const wchar_t* name, bool enable);

// Device name of a device path: everything before its third backslash
// ("\Device\HarddiskVolume1" of "\Device\HarddiskVolume1\x.exe"); empty when the path has
// fewer than three backslashes.
std::wstring DevicePrefix(const std::wstring& path);

// Rewrites a path that begins with a device name to the drive that device is mounted as,
// using and extending drives (device name -> "C:"). A device without a drive is entered
// with an empty drive, so its name is removed from the path.
void RewriteDevicePath(std::map<std::wstring, std::wstring>& drives, std::wstring& path);

// One primitive call's view of the system: a process snapshot taken when it is made, and
// the device-to-drive map built on first use.
class CZpkProcessToolHelp {
 public:
  CZpkProcessToolHelp();
  virtual ~CZpkProcessToolHelp() = default;

  // First process of the snapshot with that executable name (any case), other than the
  // installer itself; kNoProcess when there is none.
  DWORD FindByName(const std::wstring& name);
  // Every process of that name (this one included), in snapshot order.
  std::vector<DWORD> FindAllByName(const std::wstring& name);

  // False when the drive map cannot be built; otherwise path is rewritten in place.
  bool DevicePathToDrivePath(std::wstring& path);

 private:
  bool FillDriveMap();

  UniqueFileHandle snapshot_;
  std::map<std::wstring, std::wstring> drives_;
};

}  // namespace zpkprocesstoolhelp
