#include "unionid.h"

#include "handles.h"

uint32_t ReadUnionId(const std::wstring& productKey) {
  HKEY raw = nullptr;
  // An empty subkey would open HKCU itself.
  if (productKey.empty() ||
      RegOpenKeyExW(HKEY_CURRENT_USER, productKey.c_str(), 0, KEY_READ, &raw) != ERROR_SUCCESS) {
    return kDefaultUnionId;
  }
  UniqueRegKey key(raw);
  uint32_t value = 0;
  DWORD bytes = sizeof value;
  if (RegQueryValueExW(key.get(), L"UnionId", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &bytes) !=
      ERROR_SUCCESS) {
    return kDefaultUnionId;
  }
  return value < 100 ? kDefaultUnionId : value;
}
