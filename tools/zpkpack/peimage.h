// Gives a Windows executable (PE32 or PE32+) a new resource section: the section is added
// after the last one, the resource data directory points at it, SizeOfImage and
// SizeOfInitializedData grow with it and the header checksum is recomputed. The image must
// carry nothing after its last section (no symbol table, no signature).
#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace zpkpack {

struct PeInfo {
  bool pe32plus = false;
  uint16_t machine = 0;  // 0x14c i386, 0x8664 x86-64
};

bool ReadPeInfo(const std::string& image, PeInfo& info, std::string& error);

// `build(rva)` returns the section contents for a section placed at `rva`.
bool AddResourceSection(std::string& image, const std::function<bool(uint32_t rva, std::string& section)>& build,
                        std::string& error);

// The PE header checksum of `image` (the checksum field itself counted as zero).
uint32_t PeChecksum(const std::string& image);

}  // namespace zpkpack
