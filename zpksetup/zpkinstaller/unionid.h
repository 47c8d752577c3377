// The distribution-channel (union) id of the windowed run's statistics: the REG_DWORD
// UnionId that an earlier installation wrote under HKCU\<product key>, or the default.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

constexpr uint32_t kDefaultUnionId = 26100;

// productKey: the configuration's global_reg_sub_key (for example "SOFTWARE\\RuvanZip").
// kDefaultUnionId when the value cannot be read (4 bytes at most, any registry type) or
// is below 100, or when no key is given.
uint32_t ReadUnionId(const std::wstring& productKey);
