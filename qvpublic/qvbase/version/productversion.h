// The product version of a module, from its version resource.
#pragma once
#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#endif

struct ProductVersion {
  uint16_t major = 0, minor = 0, build = 0, revision = 0;
};

// Reads the fixed part of a VS_VERSIONINFO block; false when the block is malformed.
bool ParseProductVersion(const void* block, size_t size, ProductVersion* out);

#ifdef _WIN32
// The product version of a loaded module (null: the executable); false when the module has
// no version resource.
bool ReadProductVersion(HMODULE module, ProductVersion* out);
#endif
