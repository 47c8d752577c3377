#include "imagedecoder.h"

#include "icondecoder.h"

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
#include <webp/demux.h>

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
std::vector<uint8_t> ToPremultipliedBgra(const uint8_t* rgba, int w, int h) {
  std::vector<uint8_t> bgra(static_cast<size_t>(w) * h * 4);
  uint8_t* d = bgra.data();
  for (size_t i = 0, n = static_cast<size_t>(w) * h; i < n; ++i, rgba += 4, d += 4) {
    unsigned a = rgba[3];
    d[0] = static_cast<uint8_t>((rgba[2] * a + 127) / 255);
    d[1] = static_cast<uint8_t>((rgba[1] * a + 127) / 255);
    d[2] = static_cast<uint8_t>((rgba[0] * a + 127) / 255);
    d[3] = static_cast<uint8_t>(a);
  }
  return bgra;
}

void StoreStill(const uint8_t* rgba, int w, int h, DecodedImage* out) {
  out->width = w;
  out->height = h;
  out->frames.push_back(ToPremultipliedBgra(rgba, w, h));
  out->delays.push_back(0);
}

bool SizeOk(int w, int h) { return w > 0 && h > 0 && w <= kMaxImageSide && h <= kMaxImageSide; }

bool FramesFit(int w, int h, int frames) {
  return frames > 0 && frames <= kMaxFrames &&
         static_cast<size_t>(w) * h * 4 * static_cast<size_t>(frames) <= kMaxDecodedBytes;
}

const stbi_uc* Bytes(const std::string& s) { return reinterpret_cast<const stbi_uc*>(s.data()); }

// Every frame of a GIF, composed by stb_image; its delays come in milliseconds.
bool DecodeGif(const std::string& bytes, DecodedImage* out) {
  int w = 0, h = 0, n = 0, count = 0;
  int* delays = nullptr;
  std::unique_ptr<stbi_uc, void (*)(void*)> px(
      stbi_load_gif_from_memory(Bytes(bytes), static_cast<int>(bytes.size()), &delays, &w, &h, &count, &n, 4),
      stbi_image_free);
  std::unique_ptr<int, void (*)(void*)> delayList(delays, stbi_image_free);
  if (!px || !SizeOk(w, h) || !FramesFit(w, h, count)) return false;
  out->width = w;
  out->height = h;
  const size_t frameBytes = static_cast<size_t>(w) * h * 4;
  for (int i = 0; i < count; ++i) {
    out->frames.push_back(ToPremultipliedBgra(px.get() + frameBytes * i, w, h));
    out->delays.push_back(count > 1 ? NormalizeFrameDelay(delays ? delays[i] : 0) : 0);
  }
  return true;
}

bool DecodeStb(const std::string& bytes, DecodedImage* out) {
  int w = 0, h = 0, n = 0;
  if (!stbi_info_from_memory(Bytes(bytes), static_cast<int>(bytes.size()), &w, &h, &n) || !SizeOk(w, h)) {
    return false;
  }
  if (bytes.size() >= 6 && std::memcmp(bytes.data(), "GIF8", 4) == 0) return DecodeGif(bytes, out);
  std::unique_ptr<stbi_uc, void (*)(void*)> px(
      stbi_load_from_memory(Bytes(bytes), static_cast<int>(bytes.size()), &w, &h, &n, 4), stbi_image_free);
  if (!px) return false;
  StoreStill(px.get(), w, h, out);
  return true;
}

// An animated WebP through libwebp's animation decoder, which composes each frame onto
// the canvas (offsets, blending, disposal); its timestamps are the frames' end times.
bool DecodeWebpAnimation(const std::string& bytes, DecodedImage* out) {
  WebPData data{reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()};
  WebPAnimDecoderOptions options;
  if (!WebPAnimDecoderOptionsInit(&options)) return false;
  options.color_mode = MODE_RGBA;
  options.use_threads = 0;
  std::unique_ptr<WebPAnimDecoder, void (*)(WebPAnimDecoder*)> dec(WebPAnimDecoderNew(&data, &options),
                                                                    WebPAnimDecoderDelete);
  WebPAnimInfo info;
  if (!dec || !WebPAnimDecoderGetInfo(dec.get(), &info)) return false;
  int w = static_cast<int>(info.canvas_width), h = static_cast<int>(info.canvas_height);
  if (!SizeOk(w, h) || !FramesFit(w, h, static_cast<int>(info.frame_count))) return false;
  out->width = w;
  out->height = h;
  int previous = 0;
  while (WebPAnimDecoderHasMoreFrames(dec.get())) {
    uint8_t* rgba = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(dec.get(), &rgba, &timestamp) || !rgba) return false;
    if (out->FrameCount() >= static_cast<int>(info.frame_count)) break;
    out->frames.push_back(ToPremultipliedBgra(rgba, w, h));
    out->delays.push_back(timestamp - previous);
    previous = timestamp;
  }
  if (out->frames.empty()) return false;
  if (out->FrameCount() == 1) out->delays[0] = 0;
  else for (int& d : out->delays) d = NormalizeFrameDelay(d);
  return true;
}

bool DecodeWebp(const std::string& bytes, DecodedImage* out) {
  const uint8_t* data = reinterpret_cast<const uint8_t*>(bytes.data());
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(data, bytes.size(), &features) != VP8_STATUS_OK) return false;
  if (features.has_animation) return DecodeWebpAnimation(bytes, out);
  int w = 0, h = 0;
  if (!WebPGetInfo(data, bytes.size(), &w, &h) || !SizeOk(w, h)) return false;
  std::unique_ptr<uint8_t, void (*)(void*)> px(WebPDecodeRGBA(data, bytes.size(), &w, &h), WebPFree);
  if (!px) return false;
  StoreStill(px.get(), w, h, out);
  return true;
}

// The icon file's largest picture: a PNG entry through stb_image, a bitmap entry as read.
bool DecodeIcon(const std::string& bytes, DecodedImage* out) {
  IconPicture icon;
  if (!ReadLargestIcon(bytes, &icon)) return false;
  if (!icon.png.empty()) return DecodeStb(icon.png, out);
  StoreStill(icon.rgba.data(), icon.width, icon.height, out);
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
  StoreStill(rgba.data(), w, h, out);
  return true;
}

}  // namespace

int NormalizeFrameDelay(int ms) { return ms < kMinFrameDelay ? kDefaultFrameDelay : ms; }

bool DecodeImage(const std::string& bytes, bool svg, int renderScale, DecodedImage* out) {
  *out = DecodedImage{};
  if (bytes.empty() || bytes.size() > (1u << 30)) return false;
  bool ok = false;
  if (svg) {
    ok = DecodeSvg(bytes, renderScale > 0 ? renderScale : 100, out);
  } else if (bytes.size() >= 12 && std::memcmp(bytes.data(), "RIFF", 4) == 0 && std::memcmp(bytes.data() + 8, "WEBP", 4) == 0) {
    ok = DecodeWebp(bytes, out);
  } else if (LooksLikeIcon(bytes)) {
    ok = DecodeIcon(bytes, out);
  } else {
    ok = DecodeStb(bytes, out);
  }
  if (!ok) *out = DecodedImage{};
  return ok;
}

}  // namespace skin
