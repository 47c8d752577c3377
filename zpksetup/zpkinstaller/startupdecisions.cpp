#include "startupdecisions.h"

#include <cwctype>

const wchar_t kDefaultInstanceMutexName[] = L"Global\\{A043B702-166A-4FB8-9733-E2BC4713F36F}";

uint32_t ListenerWindowValue(const std::wstring& value) {
  // Written out rather than calling wcstoul, whose width differs between the hosts.
  size_t pos = 0;
  while (pos < value.size() && std::iswspace(value[pos])) ++pos;
  bool negative = false;
  if (pos < value.size() && (value[pos] == L'+' || value[pos] == L'-')) {
    negative = value[pos] == L'-';
    ++pos;
  }
  uint64_t number = 0;
  for (; pos < value.size() && value[pos] >= L'0' && value[pos] <= L'9'; ++pos) {
    number = number * 10 + static_cast<uint64_t>(value[pos] - L'0');
    if (number > 0xFFFFFFFFu) return 0xFFFFFFFFu;  // out of range
  }
  const uint32_t result = static_cast<uint32_t>(number);
  return negative ? 0u - result : result;
}

InstanceIdentity ChooseInstanceIdentity(const std::wstring& configuredName, int appId) {
  if (configuredName.empty()) return {kDefaultInstanceMutexName, appId};
  return {configuredName, 0};
}

std::wstring InstanceObjectName(const std::wstring& name, int appId) {
  std::wstring objectName = name;
  if (appId != 0) objectName += std::to_wstring(appId);
  if (objectName.size() > kObjectNameUnits - 1) objectName.resize(kObjectNameUnits - 1);
  return objectName;
}

RunMode DecideRunMode(bool enableSilent, bool commandLineSilent,
                      const std::function<bool()>& scriptAsksSilent) {
  if (commandLineSilent) return RunMode::kSilent;
  if (!enableSilent) return RunMode::kWindowed;
  return scriptAsksSilent() ? RunMode::kSilent : RunMode::kWindowed;
}
