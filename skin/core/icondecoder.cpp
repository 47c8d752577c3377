#include "icondecoder.h"

#include <cstring>

namespace skin {

namespace {

constexpr size_t kDirHeader = 6;
constexpr size_t kDirEntry = 16;
constexpr size_t kBitmapHeader = 40;

uint32_t U16(const std::string& b, size_t at) {
  return static_cast<uint8_t>(b[at]) | static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8;
}
uint32_t U32(const std::string& b, size_t at) { return U16(b, at) | U16(b, at + 2) << 16; }

struct Entry {
  uint64_t offset = 0, size = 0;
  int side = 0;  // the directory's width (0 means 256)
  int bits = 0;
};

bool IsPng(const std::string& b, uint64_t at) {
  static const char kPng[] = "\x89PNG\r\n\x1a\n";
  return b.size() - at >= 8 && std::memcmp(b.data() + at, kPng, 8) == 0;
}

// One bitmap entry: colour rows (bottom-up) then the 1-bit transparency mask.
class BitmapEntry {
 public:
  BitmapEntry(const std::string& b, uint64_t at, uint64_t size) : b_(b), at_(at), size_(size) {}

  bool Decode(IconPicture* out) {
    if (!ReadHeader()) return false;
    out->width = width_;
    out->height = height_;
    out->rgba.assign(static_cast<size_t>(width_) * height_ * 4, 0);
    bool anyAlpha = false;
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) {
        uint8_t* px = &out->rgba[(static_cast<size_t>(y) * width_ + x) * 4];
        ColourAt(x, height_ - 1 - y, px);
        anyAlpha = anyAlpha || (bits_ == 32 && px[3] != 0);
      }
    }
    // A 32-bit picture with no alpha at all, and every other depth, takes its
    // transparency from the mask.
    if (bits_ == 32 && anyAlpha) return true;
    if (!hasMask_) return bits_ == 32;
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) {
        out->rgba[(static_cast<size_t>(y) * width_ + x) * 4 + 3] = Masked(x, height_ - 1 - y) ? 0 : 255;
      }
    }
    return true;
  }

 private:
  bool ReadHeader() {
    if (size_ < kBitmapHeader) return false;
    const uint32_t headerSize = U32(b_, at_);
    const int32_t w = static_cast<int32_t>(U32(b_, at_ + 4));
    const int32_t h2 = static_cast<int32_t>(U32(b_, at_ + 8));
    bits_ = static_cast<int>(U16(b_, at_ + 14));
    const uint32_t compression = U32(b_, at_ + 16);
    uint32_t colours = U32(b_, at_ + 32);
    if (headerSize < kBitmapHeader || headerSize > size_) return false;
    if (w <= 0 || h2 <= 0 || h2 % 2 != 0 || w > kMaxIconSide || h2 / 2 > kMaxIconSide) return false;
    width_ = w;
    height_ = h2 / 2;
    if (bits_ != 1 && bits_ != 4 && bits_ != 8 && bits_ != 24 && bits_ != 32) return false;
    uint64_t masks = 0;  // BI_BITFIELDS on a 32-bit picture: the usual BGRA masks follow
    if (compression == 3 && bits_ == 32) masks = headerSize == kBitmapHeader ? 12 : 0;
    else if (compression != 0) return false;
    if (bits_ <= 8) {
      if (colours == 0 || colours > (1u << bits_)) colours = 1u << bits_;
    } else {
      colours = 0;
    }
    palette_ = at_ + headerSize + masks;
    colourRows_ = palette_ + uint64_t{colours} * 4;
    colourStride_ = (static_cast<uint64_t>(width_) * bits_ + 31) / 32 * 4;
    maskRows_ = colourRows_ + colourStride_ * height_;
    maskStride_ = (static_cast<uint64_t>(width_) + 31) / 32 * 4;
    paletteSize_ = colours;
    const uint64_t end = at_ + size_;
    if (maskRows_ > end) return false;
    hasMask_ = maskRows_ + maskStride_ * height_ <= end;
    return true;
  }

  uint8_t Byte(uint64_t at) const { return static_cast<uint8_t>(b_[static_cast<size_t>(at)]); }

  void ColourAt(int x, int row, uint8_t* px) const {
    const uint64_t line = colourRows_ + colourStride_ * row;
    if (bits_ >= 24) {
      const uint64_t p = line + static_cast<uint64_t>(x) * (bits_ / 8);
      px[0] = Byte(p + 2);
      px[1] = Byte(p + 1);
      px[2] = Byte(p);
      px[3] = bits_ == 32 ? Byte(p + 3) : 255;
      return;
    }
    const uint64_t bit = static_cast<uint64_t>(x) * bits_;
    const unsigned shift = 8 - bits_ - static_cast<unsigned>(bit % 8);
    const unsigned index = (Byte(line + bit / 8) >> shift) & ((1u << bits_) - 1);
    if (index >= paletteSize_) {
      px[0] = px[1] = px[2] = 0;
    } else {
      const uint64_t c = palette_ + uint64_t{index} * 4;
      px[0] = Byte(c + 2);
      px[1] = Byte(c + 1);
      px[2] = Byte(c);
    }
    px[3] = 255;
  }

  bool Masked(int x, int row) const {
    return (Byte(maskRows_ + maskStride_ * row + static_cast<uint64_t>(x) / 8) >> (7 - x % 8)) & 1;
  }

  const std::string& b_;
  uint64_t at_, size_;
  int width_ = 0, height_ = 0, bits_ = 0;
  uint64_t palette_ = 0, colourRows_ = 0, colourStride_ = 0, maskRows_ = 0, maskStride_ = 0;
  uint32_t paletteSize_ = 0;
  bool hasMask_ = false;
};

bool Larger(const Entry& a, const Entry& b) { return a.side != b.side ? a.side > b.side : a.bits > b.bits; }

}  // namespace

bool LooksLikeIcon(const std::string& bytes) {
  return bytes.size() >= kDirHeader && U16(bytes, 0) == 0 && U16(bytes, 2) == 1 && U16(bytes, 4) > 0;
}

bool ReadLargestIcon(const std::string& bytes, IconPicture* out) {
  *out = IconPicture{};
  if (!LooksLikeIcon(bytes)) return false;
  const size_t count = U16(bytes, 4);
  if (bytes.size() < kDirHeader + count * kDirEntry) return false;
  Entry best;
  for (size_t i = 0; i < count; ++i) {
    const size_t d = kDirHeader + i * kDirEntry;
    Entry e;
    e.side = bytes[d] == 0 ? 256 : static_cast<uint8_t>(bytes[d]);
    e.bits = static_cast<int>(U16(bytes, d + 6));
    e.size = U32(bytes, d + 8);
    e.offset = U32(bytes, d + 12);
    if (e.size == 0 || e.offset + e.size > bytes.size()) return false;
    if (best.size == 0 || Larger(e, best)) best = e;
  }
  if (IsPng(bytes, best.offset)) {
    out->png = bytes.substr(static_cast<size_t>(best.offset), static_cast<size_t>(best.size));
    return true;
  }
  BitmapEntry bitmap(bytes, best.offset, best.size);
  if (bitmap.Decode(out)) return true;
  *out = IconPicture{};
  return false;
}

}  // namespace skin
