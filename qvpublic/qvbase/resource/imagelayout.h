// Where bytes of a loaded PE image lie in its file: the section table maps an address of
// the image (relative to its base) to a file offset. Portable (no Windows headers), so it
// is tested natively; resourcefile.* uses it on the program's own mapped image.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qvbase {

// The file offset of the `size` bytes at `rva` in the image whose headers are the first
// `headerSize` bytes at `image` (a mapped image always has its first page). False when the
// headers do not parse within those bytes, or no section holds all the bytes in its raw
// data (bytes past a section's raw data are zeros the loader made, not in the file).
bool FileOffsetOfRva(const uint8_t* image, size_t headerSize, uint32_t rva, uint32_t size, uint64_t* offset);

}  // namespace qvbase
