// Turns the bytes of a skin picture into premultiplied 32-bit BGRA pixels: PNG, JPEG,
// GIF (first frame) and BMP through stb_image, WebP through libwebp, SVG through
// nanosvg rendered at a scale.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace skin {

struct DecodedImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> bgra;  // premultiplied, rows top-down, stride width * 4
};

// False for data that no decoder accepts or for a picture beyond the size limit.
bool DecodeImage(const std::string& bytes, bool svg, int renderScale, DecodedImage* out);

constexpr int kMaxImageSide = 8192;

}  // namespace skin
