// The distribution-channel (union) id of the windowed run's statistics: the REG_DWORD
// HKCU\SOFTWARE\RuvanZip UnionId that an earlier installation wrote, or the default.
#pragma once
#include <windows.h>

#include <cstdint>

constexpr uint32_t kDefaultUnionId = 26100;

// kDefaultUnionId when the value cannot be read (4 bytes at most, any registry type) or
// is below 100.
uint32_t ReadUnionId();
