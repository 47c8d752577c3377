// Turns the bytes of a skin picture into premultiplied 32-bit BGRA pixels: PNG, JPEG,
// GIF and BMP through stb_image, icon files (their largest picture), WebP through
// libwebp, SVG through nanosvg rendered at a scale. Animated GIF and WebP pictures give every frame, composed onto the full canvas,
// with the time each one stays.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace skin {

struct DecodedImage {
  int width = 0;
  int height = 0;
  // One entry per frame (one for a still picture): rows top-down, stride width * 4.
  std::vector<std::vector<uint8_t>> frames;
  // Milliseconds each frame stays; 0 for a still picture.
  std::vector<int> delays;
  int FrameCount() const { return static_cast<int>(frames.size()); }
  bool IsAnimated() const { return frames.size() > 1; }
};

// False for data that no decoder accepts or for a picture beyond the size limits.
bool DecodeImage(const std::string& bytes, bool svg, int renderScale, DecodedImage* out);

constexpr int kMaxImageSide = 8192;
constexpr int kMaxFrames = 1000;
constexpr size_t kMaxDecodedBytes = size_t{256} << 20;  // all frames together
// A frame that asks for less than this (0 included) stays kDefaultFrameDelay, as in web
// browsers, so that a picture without timing does not spin the window.
constexpr int kMinFrameDelay = 20;
constexpr int kDefaultFrameDelay = 100;
int NormalizeFrameDelay(int ms);

}  // namespace skin
