#include "version/productversion.h"

#include <cstring>

#ifdef _WIN32
#include "resource/moduleresource.h"
#endif

namespace {

const uint32_t kFixedSignature = 0xFEEF04BD;
const wchar_t kRootKey[] = L"VS_VERSION_INFO";

uint16_t Word(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Dword(const unsigned char* p) { return Word(p) | (static_cast<uint32_t>(Word(p + 2)) << 16); }

}  // namespace

// Layout: wLength, wValueLength, wType, the UTF-16 key "VS_VERSION_INFO" with its NUL,
// padding to a 4-byte boundary, then VS_FIXEDFILEINFO (signature, struct version, file
// version MS/LS, product version MS/LS, ...).
bool ParseProductVersion(const void* block, size_t size, ProductVersion* out) {
  const auto* p = static_cast<const unsigned char*>(block);
  const size_t keyUnits = sizeof(kRootKey) / sizeof(kRootKey[0]);  // with the NUL
  const size_t keyEnd = 6 + keyUnits * 2;
  const size_t fixed = (keyEnd + 3) & ~static_cast<size_t>(3);
  const size_t fixedSize = 52;
  if (!p || size < fixed + fixedSize) return false;
  if (Word(p) > size || Word(p + 2) < fixedSize) return false;
  for (size_t i = 0; i < keyUnits; ++i)
    if (Word(p + 6 + i * 2) != static_cast<uint16_t>(kRootKey[i])) return false;
  const unsigned char* f = p + fixed;
  if (Dword(f) != kFixedSignature) return false;
  const uint32_t ms = Dword(f + 16), ls = Dword(f + 20);
  out->major = static_cast<uint16_t>(ms >> 16);
  out->minor = static_cast<uint16_t>(ms & 0xFFFF);
  out->build = static_cast<uint16_t>(ls >> 16);
  out->revision = static_cast<uint16_t>(ls & 0xFFFF);
  return true;
}

#ifdef _WIN32
bool ReadProductVersion(HMODULE module, ProductVersion* out) {
  // Resource 1 of type RT_VERSION (16).
  qvbase::ResourceBytes block;
  const qvbase::ResourceResult result = qvbase::ReadModuleResource(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16), &block);
  if (result != qvbase::ResourceResult::kOk && result != qvbase::ResourceResult::kEmpty) return false;
  return ParseProductVersion(block.data, block.size, out);
}
#endif
