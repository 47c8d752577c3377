// Portable parts of the statistics code: the report documents of rmstat.dll and the
// version-resource parser of the statistics module.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "statreport.h"
#include "version/productversion.h"

namespace {

TEST(StatReport, DocumentsNameTheIdentityAndTheEvent) {
  StatIdentity id;
  id.app_id = 161;
  id.union_id = 26100;
  id.level = 2;
  int v[4] = {1, 0, 0, 70};
  for (int i = 0; i < 4; ++i) id.version[i] = v[i];
  EXPECT_EQ(InstallReportJson("install", id, 3),
            "{\"event\":\"install\",\"appid\":161,\"unionid\":26100,\"version\":\"1.0.0.70\","
            "\"level\":2,\"kind\":3}");
  EXPECT_EQ(ActionReportJson(id, {25103, 25106}, false),
            "{\"event\":\"action\",\"appid\":161,\"unionid\":26100,\"version\":\"1.0.0.70\","
            "\"ids\":[25103,25106],\"flag\":0}");
  EXPECT_EQ(SessionReportJson("offline", id),
            "{\"event\":\"offline\",\"appid\":161,\"unionid\":26100,\"version\":\"1.0.0.70\"}");
}

TEST(StatReport, DottedVersions) {
  int v[4];
  ASSERT_TRUE(ParseDottedVersion("1.0.0.70", v));
  EXPECT_EQ(std::vector<int>(v, v + 4), (std::vector<int>{1, 0, 0, 70}));
  ASSERT_TRUE(ParseDottedVersion("2.5", v));
  EXPECT_EQ(std::vector<int>(v, v + 4), (std::vector<int>{2, 5, 0, 0}));
  ASSERT_TRUE(ParseDottedVersion("3.4.5.6.7", v));
  EXPECT_EQ(std::vector<int>(v, v + 4), (std::vector<int>{3, 4, 5, 6}));
  EXPECT_FALSE(ParseDottedVersion("", v));
  EXPECT_FALSE(ParseDottedVersion("x.1", v));
  EXPECT_FALSE(ParseDottedVersion(nullptr, v));
}

// A VS_VERSIONINFO block as resource compilers lay it out.
std::string VersionBlock(uint32_t productMs, uint32_t productLs) {
  std::string b;
  auto word = [&](uint16_t w) { b += char(w & 0xFF); b += char(w >> 8); };
  auto dword = [&](uint32_t d) { word(d & 0xFFFF); word(d >> 16); };
  word(0);   // length, patched below
  word(52);  // value length
  word(0);   // binary
  for (char c : std::string("VS_VERSION_INFO")) word(static_cast<uint16_t>(c));
  word(0);
  while (b.size() % 4) b += '\0';
  dword(0xFEEF04BD);
  dword(0x00010000);
  dword(0x00090008);  // file version 9.8.7.6
  dword(0x00070006);
  dword(productMs);
  dword(productLs);
  for (int i = 0; i < 7; ++i) dword(0);
  b[0] = char(b.size() & 0xFF);
  b[1] = char(b.size() >> 8);
  return b;
}

TEST(ProductVersionParse, ReadsTheProductNotTheFileVersion) {
  std::string b = VersionBlock(0x00010002, 0x00030004);
  ProductVersion v;
  ASSERT_TRUE(ParseProductVersion(b.data(), b.size(), &v));
  EXPECT_EQ(v.major, 1);
  EXPECT_EQ(v.minor, 2);
  EXPECT_EQ(v.build, 3);
  EXPECT_EQ(v.revision, 4);
}

TEST(ProductVersionParse, RejectsDamagedBlocks) {
  const std::string good = VersionBlock(0x00010002, 0x00030004);
  ProductVersion v;
  EXPECT_FALSE(ParseProductVersion(good.data(), good.size() - 1, &v)) << "truncated";
  std::string key = good;
  key[8] = 'W';
  EXPECT_FALSE(ParseProductVersion(key.data(), key.size(), &v)) << "wrong key";
  std::string sig = good;
  sig[40] = 0;
  EXPECT_FALSE(ParseProductVersion(sig.data(), sig.size(), &v)) << "wrong signature";
  EXPECT_FALSE(ParseProductVersion(nullptr, 0, &v));
}

}  // namespace
