// Where the loaded image's bytes lie in its file: the installer reads its payload there,
// so a wrong offset would hash and unpack other bytes, and a range past a section's raw
// data (zeros the loader made) must not be taken for file bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "resource/imagelayout.h"

namespace {

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Headers of an image with the given sections (virtual address, virtual size, raw size,
// raw offset), an optional header of `optional` bytes.
std::vector<uint8_t> Headers(const std::vector<std::vector<uint32_t>>& sections, uint16_t optional = 224) {
  std::vector<uint8_t> b(4096, 0);
  b[0] = 'M';
  b[1] = 'Z';
  const uint32_t pe = 0x80;
  Put32(b, 0x3C, pe);
  std::memcpy(&b[pe], "PE\0\0", 4);
  b[pe + 6] = static_cast<uint8_t>(sections.size());
  b[pe + 20] = static_cast<uint8_t>(optional);
  b[pe + 21] = static_cast<uint8_t>(optional >> 8);
  size_t at = pe + 24 + optional;
  for (const auto& s : sections) {
    Put32(b, at + 8, s[1]);
    Put32(b, at + 12, s[0]);
    Put32(b, at + 16, s[2]);
    Put32(b, at + 20, s[3]);
    at += 40;
  }
  return b;
}

}  // namespace

TEST(ImageLayout, AnAddressMapsToItsSectionsRawData) {
  // .text, .rdata and a resource section whose raw data starts at a page-aligned offset.
  const auto image = Headers({{0x1000, 0x5000, 0x5000, 0x400}, {0x6000, 0x800, 0xA00, 0x5400},
                              {0x8000, 0x3000000, 0x3000000, 0x6000}}, 240);
  uint64_t offset = 0;
  ASSERT_TRUE(qvbase::FileOffsetOfRva(image.data(), image.size(), 0x8123, 0x100000, &offset));
  EXPECT_EQ(0x6123u, offset);
  ASSERT_TRUE(qvbase::FileOffsetOfRva(image.data(), image.size(), 0x1000, 0x5000, &offset));
  EXPECT_EQ(0x400u, offset);
  // The last byte of the resource section, and one past it.
  EXPECT_TRUE(qvbase::FileOffsetOfRva(image.data(), image.size(), 0x8000 + 0x3000000 - 1, 1, &offset));
  EXPECT_FALSE(qvbase::FileOffsetOfRva(image.data(), image.size(), 0x8000 + 0x3000000 - 1, 2, &offset));
  // Past .rdata's virtual size its raw padding is not mapped; between sections nothing is.
  EXPECT_FALSE(qvbase::FileOffsetOfRva(image.data(), image.size(), 0x6700, 0x200, &offset));
  EXPECT_FALSE(qvbase::FileOffsetOfRva(image.data(), image.size(), 0x7000, 4, &offset));
}

TEST(ImageLayout, BytesTheLoaderZeroFilledAreNotInTheFile) {
  // .bss-like: a virtual size larger than what the file holds.
  const auto image = Headers({{0x1000, 0x4000, 0x1000, 0x400}});
  uint64_t offset = 0;
  EXPECT_TRUE(qvbase::FileOffsetOfRva(image.data(), image.size(), 0x1000, 0x1000, &offset));
  EXPECT_FALSE(qvbase::FileOffsetOfRva(image.data(), image.size(), 0x1800, 0x1000, &offset));
}

TEST(ImageLayout, HeadersThatDoNotParseGiveNoOffset) {
  uint64_t offset = 0;
  auto image = Headers({{0x1000, 0x1000, 0x1000, 0x400}});
  EXPECT_TRUE(qvbase::FileOffsetOfRva(image.data(), image.size(), 0x1000, 16, &offset));
  EXPECT_FALSE(qvbase::FileOffsetOfRva(nullptr, 4096, 0x1000, 16, &offset));
  EXPECT_FALSE(qvbase::FileOffsetOfRva(image.data(), 0x3F, 0x1000, 16, &offset));
  // The section table runs past the bytes given.
  EXPECT_FALSE(qvbase::FileOffsetOfRva(image.data(), 0x80 + 24 + 224 + 39, 0x1000, 16, &offset));
  auto noPe = image;
  noPe[0x81] = 'X';
  EXPECT_FALSE(qvbase::FileOffsetOfRva(noPe.data(), noPe.size(), 0x1000, 16, &offset));
  auto farPe = image;
  Put32(farPe, 0x3C, 0xFFFFFFF0u);
  EXPECT_FALSE(qvbase::FileOffsetOfRva(farPe.data(), farPe.size(), 0x1000, 16, &offset));
}
