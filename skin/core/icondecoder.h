// Windows icon files (.ico): the largest picture they hold, so that a skin can show the
// installer's own icon at any scale. Entries are PNG (kept as bytes for the PNG decoder)
// or device-independent bitmaps of 1, 4, 8, 24 or 32 bits with their transparency mask.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace skin {

struct IconPicture {
  std::string png;            // the entry when it is a PNG; empty otherwise
  int width = 0;              // of a bitmap entry
  int height = 0;
  std::vector<uint8_t> rgba;  // a bitmap entry's pixels, straight alpha, rows top-down
};

// True when bytes start like an icon file.
bool LooksLikeIcon(const std::string& bytes);
// The largest entry (by area, then colour depth). False for a damaged file, an entry
// outside the file or a bitmap beyond kMaxIconSide.
bool ReadLargestIcon(const std::string& bytes, IconPicture* out);

constexpr int kMaxIconSide = 1024;

}  // namespace skin
