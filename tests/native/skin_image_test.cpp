// The skin's image decoder on tiny pictures: still PNG, JPEG and WebP pixels (alpha
// premultiplied), icon files (the largest entry, PNG or bitmap with its mask), animated GIF and WebP frames with their delays, SVG at a scale, and
// damaged data refused without a crash.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "imagedecoder.h"

using namespace skin;

namespace {

std::string ReadImage(const char* name) {
  std::ifstream f(std::string(SKIN_TEST_IMAGES) + "/" + name, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

// One pixel as B, G, R, A.
std::vector<int> Pixel(const DecodedImage& img, int frame, int x, int y) {
  const uint8_t* p = img.frames[static_cast<size_t>(frame)].data() + (static_cast<size_t>(y) * img.width + x) * 4;
  return {p[0], p[1], p[2], p[3]};
}

bool Near(const std::vector<int>& a, const std::vector<int>& b, int tolerance) {
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::abs(a[i] - b[i]) > tolerance) return false;
  }
  return true;
}

// The frame durations written in an animated WebP's ANMF chunks, read straight from the
// container (ImageMagick chooses them itself from the -delay values).
std::vector<int> WebpDurations(const std::string& bytes) {
  std::vector<int> out;
  auto u24 = [&](size_t at) {
    return static_cast<int>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8 |
                            static_cast<uint8_t>(bytes[at + 2]) << 16);
  };
  for (size_t i = 12; i + 8 <= bytes.size();) {
    size_t size = static_cast<uint8_t>(bytes[i + 4]) | static_cast<uint8_t>(bytes[i + 5]) << 8 |
                  static_cast<uint8_t>(bytes[i + 6]) << 16 | static_cast<size_t>(static_cast<uint8_t>(bytes[i + 7])) << 24;
    if (bytes.compare(i, 4, "ANMF") == 0 && i + 8 + 16 <= bytes.size()) out.push_back(u24(i + 8 + 12));
    i += 8 + size + (size & 1);
  }
  return out;
}

}  // namespace

TEST(ImageDecoder, StillPicturesGivePremultipliedBgra) {
  DecodedImage img;
  ASSERT_TRUE(DecodeImage(ReadImage("still.png"), false, 100, &img));
  EXPECT_EQ(img.width, 3);
  EXPECT_EQ(img.height, 2);
  ASSERT_EQ(img.FrameCount(), 1);
  EXPECT_FALSE(img.IsAnimated());
  EXPECT_EQ(img.delays, std::vector<int>{0});
  EXPECT_EQ(Pixel(img, 0, 2, 1), (std::vector<int>{0x99, 0x66, 0x33, 0xFF}));

  ASSERT_TRUE(DecodeImage(ReadImage("still.jpg"), false, 100, &img));
  EXPECT_EQ(img.width, 16);
  EXPECT_EQ(img.height, 8);
  EXPECT_TRUE(Near(Pixel(img, 0, 5, 5), {0x80, 0x80, 0x80, 0xFF}, 3));

  // Half-transparent red: the colour is multiplied by its alpha.
  ASSERT_TRUE(DecodeImage(ReadImage("half.webp"), false, 100, &img));
  EXPECT_EQ(img.width, 2);
  ASSERT_EQ(img.FrameCount(), 1);
  EXPECT_TRUE(Near(Pixel(img, 0, 1, 1), {0, 0, 128, 128}, 2));
}

// A 1-bit icon of 2 x 2 pixels by hand: palette black and white, the mask hides one pixel.
std::string OneBitIcon() {
  std::string b("\0\0\1\0\1\0", 6);
  auto u16 = [&](unsigned v) { b += static_cast<char>(v & 0xFF); b += static_cast<char>(v >> 8); };
  auto u32 = [&](unsigned v) { u16(v & 0xFFFF); u16(v >> 16); };
  const unsigned size = 40 + 8 + 2 * 4 + 2 * 4;
  b += std::string("\2\2\2\0", 4);  // 2 x 2, two colours
  u16(1); u16(1); u32(size); u32(22);
  u32(40); u32(2); u32(4); u16(1); u16(1); u32(0); u32(0); u32(0); u32(0); u32(2); u32(0);
  u32(0x000000); u32(0xFFFFFF);   // palette (B, G, R, 0)
  u32(0x40); u32(0x80);            // colour rows, bottom first: y 1 black white, y 0 white black
  u32(0x00); u32(0x40);            // mask rows, bottom first: (1,0) transparent
  return b;
}

TEST(ImageDecoder, IconsGiveTheirLargestPicture) {
  DecodedImage img;
  ASSERT_TRUE(DecodeImage(ReadImage("large.ico"), false, 100, &img));  // the PNG entry
  EXPECT_EQ(img.width, 256);
  EXPECT_EQ(img.height, 256);
  EXPECT_EQ(Pixel(img, 0, 200, 100), (std::vector<int>{0, 255, 0, 255}));

  ASSERT_TRUE(DecodeImage(ReadImage("small.ico"), false, 100, &img));  // a 32-bit bitmap
  EXPECT_EQ(img.width, 48);
  EXPECT_EQ(img.height, 48);
  EXPECT_TRUE(Near(Pixel(img, 0, 40, 3), {128, 0, 0, 128}, 2));

  ASSERT_TRUE(DecodeImage(OneBitIcon(), false, 100, &img));
  ASSERT_EQ(img.width, 2);
  EXPECT_EQ(Pixel(img, 0, 0, 0), (std::vector<int>{255, 255, 255, 255}));
  EXPECT_EQ(Pixel(img, 0, 1, 0), (std::vector<int>{0, 0, 0, 0}));
  EXPECT_EQ(Pixel(img, 0, 0, 1), (std::vector<int>{0, 0, 0, 255}));
  EXPECT_EQ(Pixel(img, 0, 1, 1), (std::vector<int>{255, 255, 255, 255}));

  // An entry that reaches past the end of the file.
  std::string icon = OneBitIcon();
  EXPECT_FALSE(DecodeImage(icon.substr(0, icon.size() - 1), false, 100, &img));
  EXPECT_EQ(img.FrameCount(), 0);
}

TEST(ImageDecoder, AnimatedGifGivesEveryFrameAndItsDelay) {
  DecodedImage img;
  ASSERT_TRUE(DecodeImage(ReadImage("anim.gif"), false, 100, &img));
  EXPECT_EQ(img.width, 6);
  EXPECT_EQ(img.height, 4);
  ASSERT_EQ(img.FrameCount(), 3);
  EXPECT_TRUE(img.IsAnimated());
  // 30 and 25 hundredths; 1 hundredth is too short and counts as the default.
  EXPECT_EQ(img.delays, (std::vector<int>{300, 250, kDefaultFrameDelay}));
  EXPECT_EQ(Pixel(img, 0, 0, 0), (std::vector<int>{0, 0, 255, 255}));
  EXPECT_EQ(Pixel(img, 1, 5, 3), (std::vector<int>{255, 0, 0, 255}));
  EXPECT_EQ(Pixel(img, 2, 3, 2), (std::vector<int>{0, 255, 0, 255}));
}

TEST(ImageDecoder, AnimatedWebpGivesEveryFrameAndItsDelay) {
  DecodedImage img;
  std::string bytes = ReadImage("anim.webp");
  ASSERT_TRUE(DecodeImage(bytes, false, 100, &img));
  EXPECT_EQ(img.width, 6);
  EXPECT_EQ(img.height, 4);
  ASSERT_EQ(img.FrameCount(), 3);
  std::vector<int> durations = WebpDurations(bytes);
  ASSERT_EQ(durations.size(), 3u);
  ASSERT_NE(durations[0], durations[1]);  // so that a shared delay would show
  EXPECT_EQ(img.delays, durations);
  EXPECT_EQ(Pixel(img, 0, 2, 2), (std::vector<int>{0, 0, 255, 255}));
  EXPECT_EQ(Pixel(img, 1, 0, 0), (std::vector<int>{255, 0, 0, 255}));
  EXPECT_EQ(Pixel(img, 2, 5, 3), (std::vector<int>{0, 255, 0, 255}));
}

TEST(ImageDecoder, SvgRenderedAtTheScale) {
  const std::string svg =
      "<svg xmlns='http://www.w3.org/2000/svg' width='20' height='10'>"
      "<rect x='0' y='0' width='20' height='10' fill='#00ff00'/></svg>";
  DecodedImage img;
  ASSERT_TRUE(DecodeImage(svg, true, 150, &img));
  EXPECT_EQ(img.width, 30);
  EXPECT_EQ(img.height, 15);
  EXPECT_EQ(Pixel(img, 0, 15, 7), (std::vector<int>{0, 255, 0, 255}));
}

TEST(ImageDecoder, DamagedDataIsRefused) {
  DecodedImage img;
  EXPECT_FALSE(DecodeImage("", false, 100, &img));
  EXPECT_FALSE(DecodeImage("not a picture at all", false, 100, &img));
  EXPECT_FALSE(DecodeImage("<svg", true, 100, &img));
  for (const char* name : {"anim.gif", "anim.webp", "still.png", "half.webp", "small.ico", "large.ico"}) {
    std::string bytes = ReadImage(name);
    ASSERT_FALSE(bytes.empty()) << name;
    // Cut short or with its body overwritten: refused or decoded, never a crash, and a
    // refusal leaves no frames behind.
    for (size_t cut : {bytes.size() / 2, bytes.size() - 5, size_t{20}}) {
      bool ok = DecodeImage(bytes.substr(0, cut), false, 100, &img);
      if (!ok) {
        EXPECT_EQ(img.FrameCount(), 0) << name << " cut at " << cut;
      } else {
        EXPECT_EQ(img.frames.size(), img.delays.size());
      }
    }
    std::string garbled = bytes;
    for (size_t i = 16; i < garbled.size(); i += 3) garbled[i] = static_cast<char>(garbled[i] ^ 0x5A);
    if (!DecodeImage(garbled, false, 100, &img)) {
      EXPECT_EQ(img.FrameCount(), 0) << name;
    }
  }
  // A header that claims a picture beyond the size limit is refused before decoding.
  std::string huge = ReadImage("still.png");
  ASSERT_GT(huge.size(), 24u);
  huge[16] = 0x00; huge[17] = 0x01; huge[18] = 0x00; huge[19] = 0x00;  // width 65536
  EXPECT_FALSE(DecodeImage(huge, false, 100, &img));
}
