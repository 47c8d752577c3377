#include "resource/imagelayout.h"

namespace qvbase {

namespace {

uint32_t Le16(const uint8_t* p) { return static_cast<uint32_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) { return Le16(p) | (Le16(p + 2) << 16); }

constexpr size_t kPeOffsetField = 0x3C;
constexpr size_t kFileHeaderSize = 20;
constexpr size_t kSectionSize = 40;

}  // namespace

bool FileOffsetOfRva(const uint8_t* image, size_t headerSize, uint32_t rva, uint32_t size, uint64_t* offset) {
  if (!image || headerSize < kPeOffsetField + 4 || image[0] != 'M' || image[1] != 'Z') return false;
  const uint64_t pe = Le32(image + kPeOffsetField);
  if (pe + 4 + kFileHeaderSize > headerSize) return false;
  const uint8_t* sig = image + pe;
  if (sig[0] != 'P' || sig[1] != 'E' || sig[2] != 0 || sig[3] != 0) return false;
  const uint8_t* fileHeader = sig + 4;
  const uint32_t sections = Le16(fileHeader + 2);
  const uint64_t table = pe + 4 + kFileHeaderSize + Le16(fileHeader + 16);
  if (table + uint64_t{sections} * kSectionSize > headerSize) return false;
  const uint64_t end = uint64_t{rva} + size;
  for (uint32_t i = 0; i < sections; ++i) {
    const uint8_t* s = image + table + uint64_t{i} * kSectionSize;
    const uint64_t virtualSize = Le32(s + 8), address = Le32(s + 12), rawOffset = Le32(s + 20);
    uint64_t inFile = Le32(s + 16);
    if (virtualSize != 0 && virtualSize < inFile) inFile = virtualSize;  // the rest is not mapped
    if (rva >= address && end <= address + inFile) {
      *offset = rawOffset + (rva - address);
      return true;
    }
  }
  return false;
}

}  // namespace qvbase
