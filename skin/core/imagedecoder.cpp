#include "imagedecoder.h"

#include <float.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <cstring>
#include <memory>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_GIF
#define STBI_ONLY_BMP
#include <stb_image.h>

#include <webp/decode.h>

// SDL_image's copy of nanosvg expects these from SDL's headers.
#define HAVE_STDIO_H 1
#define SDLCALL
#define NANOSVG_IMPLEMENTATION
#include <nanosvg/nanosvg.h>
#define NANOSVGRAST_IMPLEMENTATION
#include <nanosvg/nanosvgrast.h>

namespace skin {

namespace {

// RGBA (straight alpha) to premultiplied BGRA.
void StoreRgba(const uint8_t* rgba, int w, int h, DecodedImage* out) {
  out->width = w;
  out->height = h;
  out->bgra.resize(static_cast<size_t>(w) * h * 4);
  uint8_t* d = out->bgra.data();
  for (size_t i = 0, n = static_cast<size_t>(w) * h; i < n; ++i, rgba += 4, d += 4) {
    unsigned a = rgba[3];
    d[0] = static_cast<uint8_t>((rgba[2] * a + 127) / 255);
    d[1] = static_cast<uint8_t>((rgba[1] * a + 127) / 255);
    d[2] = static_cast<uint8_t>((rgba[0] * a + 127) / 255);
    d[3] = static_cast<uint8_t>(a);
  }
}

bool SizeOk(int w, int h) { return w > 0 && h > 0 && w <= kMaxImageSide && h <= kMaxImageSide; }

bool DecodeStb(const std::string& bytes, DecodedImage* out) {
  int w = 0, h = 0, n = 0;
  if (!stbi_info_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()), static_cast<int>(bytes.size()), &w, &h, &n) ||
      !SizeOk(w, h)) {
    return false;
  }
  std::unique_ptr<stbi_uc, void (*)(void*)> px(
      stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()), static_cast<int>(bytes.size()), &w, &h, &n, 4),
      stbi_image_free);
  if (!px) return false;
  StoreRgba(px.get(), w, h, out);
  return true;
}

bool DecodeWebp(const std::string& bytes, DecodedImage* out) {
  int w = 0, h = 0;
  const uint8_t* data = reinterpret_cast<const uint8_t*>(bytes.data());
  if (!WebPGetInfo(data, bytes.size(), &w, &h) || !SizeOk(w, h)) return false;
  std::unique_ptr<uint8_t, void (*)(void*)> px(WebPDecodeRGBA(data, bytes.size(), &w, &h), WebPFree);
  if (!px) return false;
  StoreRgba(px.get(), w, h, out);
  return true;
}

bool DecodeSvg(const std::string& bytes, int renderScale, DecodedImage* out) {
  std::string text = bytes;  // nanosvg parses in place
  std::unique_ptr<NSVGimage, void (*)(NSVGimage*)> img(nsvgParse(&text[0], "px", 96.0f), nsvgDelete);
  if (!img || img->width <= 0 || img->height <= 0) return false;
  float k = renderScale / 100.0f;
  int w = static_cast<int>(img->width * k + 0.5f);
  int h = static_cast<int>(img->height * k + 0.5f);
  if (!SizeOk(w, h)) return false;
  std::unique_ptr<NSVGrasterizer, void (*)(NSVGrasterizer*)> rast(nsvgCreateRasterizer(), nsvgDeleteRasterizer);
  if (!rast) return false;
  std::vector<uint8_t> rgba(static_cast<size_t>(w) * h * 4);
  nsvgRasterize(rast.get(), img.get(), 0, 0, k, rgba.data(), w, h, w * 4);
  StoreRgba(rgba.data(), w, h, out);
  return true;
}

}  // namespace

bool DecodeImage(const std::string& bytes, bool svg, int renderScale, DecodedImage* out) {
  *out = DecodedImage{};
  if (bytes.empty() || bytes.size() > (1u << 30)) return false;
  if (svg) return DecodeSvg(bytes, renderScale > 0 ? renderScale : 100, out);
  if (bytes.size() >= 12 && std::memcmp(bytes.data(), "RIFF", 4) == 0 && std::memcmp(bytes.data() + 8, "WEBP", 4) == 0) {
    return DecodeWebp(bytes, out);
  }
  return DecodeStb(bytes, out);
}

}  // namespace skin
