// The pure decisions of the installer's start-up: the listener window number, the
// single-instance object name and the run mode. Portable, so they are tested natively.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Built-in instance mutex name, used when the configuration names none.
extern const wchar_t kDefaultInstanceMutexName[];
constexpr size_t kObjectNameUnits = 260;  // terminating null included

// The "InstallListenWnd" value read as a 32-bit wcstoul(value, null, 10) reads it: leading
// blanks and a sign are accepted, reading stops at the first non-digit ("0x1A" gives 0),
// out-of-range values give 0xFFFFFFFF and a minus sign negates modulo 2^32.
uint32_t ListenerWindowValue(const std::wstring& value);

struct InstanceIdentity {
  std::wstring name;  // mutex name before the application id is appended
  int appId;          // 0 when a configured name is used; stays 0 for the whole run
};

// configuredName: `global_install_mutex_guid`; appId: `global_app_id`.
InstanceIdentity ChooseInstanceIdentity(const std::wstring& configuredName, int appId);

// "%s%d" (name, then appId in decimal) when appId is not 0, else the name alone; cut to
// fit a buffer of kObjectNameUnits units.
std::wstring InstanceObjectName(const std::wstring& name, int appId);

enum class RunMode { kSilent, kWindowed };

// enableSilent: `global_enable_ss_install`; commandLineSilent: "InstallSlience" has the
// value "true"; scriptAsksSilent reads `global_ss_install` and is called only when the
// two others leave the choice to the script.
RunMode DecideRunMode(bool enableSilent, bool commandLineSilent,
                      const std::function<bool()>& scriptAsksSilent);
