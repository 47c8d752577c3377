#include "resource/moduleresource.h"

namespace qvbase {

ResourceResult ReadModuleResource(HMODULE module, const wchar_t* name, const wchar_t* type, ResourceBytes* out) {
  *out = ResourceBytes{};
  if (!module) module = GetModuleHandleW(nullptr);
  HRSRC info = FindResourceW(module, name, type);
  if (!info) return ResourceResult::kNotFound;
  HGLOBAL loaded = LoadResource(module, info);
  if (!loaded) return ResourceResult::kNotLoaded;
  const void* bytes = LockResource(loaded);
  if (!bytes) return ResourceResult::kNotLocked;
  *out = ResourceBytes{static_cast<const uint8_t*>(bytes), SizeofResource(module, info)};
  return out->size == 0 ? ResourceResult::kEmpty : ResourceResult::kOk;
}

}  // namespace qvbase
