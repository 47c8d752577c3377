// The bytes of one resource of a loaded module, as stored in its image: read-only, valid
// while the module stays loaded. One reader for the payload, the scripts, the skin and
// the version block; the result names the step that failed, so each caller keeps its
// own debug line.
#pragma once
#include <windows.h>

#include <cstdint>

namespace qvbase {

struct ResourceBytes {
  const uint8_t* data = nullptr;
  DWORD size = 0;
};

// kEmpty: the resource exists and holds no bytes (data still points at it).
enum class ResourceResult { kOk, kNotFound, kNotLoaded, kNotLocked, kEmpty };

// module null: the program's own image.
ResourceResult ReadModuleResource(HMODULE module, const wchar_t* name, const wchar_t* type, ResourceBytes* out);

}  // namespace qvbase
