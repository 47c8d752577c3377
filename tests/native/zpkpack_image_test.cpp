// zpkpack's binary writers: the resource tree read back the way the loader walks it, the
// version resource's node lengths, icon groups, the PE section added to a small image with
// its header fields and checksum, the zip archive read back with minizip, SHA-256 vectors.
#include <gtest/gtest.h>

#include <minizip/unzip.h>

#include <cstring>

#include "markupvalues.h"
#include "peimage.h"
#include "resources.h"
#include "skinarchive.h"
#include "zipwriter.h"

using namespace zpkpack;

namespace {

uint32_t G16(const std::string& s, size_t at) {
  return uint32_t(static_cast<unsigned char>(s[at])) | uint32_t(static_cast<unsigned char>(s[at + 1])) << 8;
}
uint32_t G32(const std::string& s, size_t at) { return G16(s, at) | G16(s, at + 2) << 16; }
void S16(std::string& s, size_t at, uint32_t v) {
  s[at] = char(v & 0xff);
  s[at + 1] = char(v >> 8);
}
void S32(std::string& s, size_t at, uint32_t v) {
  S16(s, at, v & 0xffff);
  S16(s, at + 2, v >> 16);
}

// The loader's lookup: a directory's entries matched by name (upper-case UTF-16) or number.
bool FindEntry(const std::string& sec, uint32_t dir, const std::u16string& name, uint16_t id, uint32_t& target) {
  uint32_t named = G16(sec, dir + 12), numbered = G16(sec, dir + 14);
  for (uint32_t i = 0; i < named + numbered; ++i) {
    uint32_t e = dir + 16 + 8 * i, n = G32(sec, e);
    bool match;
    if (n & 0x80000000u) {
      uint32_t at = n & 0x7fffffff, len = G16(sec, at);
      std::u16string s;
      for (uint32_t k = 0; k < len; ++k) s += char16_t(G16(sec, at + 2 + 2 * k));
      match = i < named && !name.empty() && s == name;
    } else {
      match = i >= named && name.empty() && n == id;
    }
    if (match) {
      target = G32(sec, e + 4);
      return true;
    }
  }
  return false;
}

// Type and name -> the first language's data, through the three levels.
std::string Lookup(const std::string& sec, uint32_t rva, const ResId& type, const ResId& name) {
  uint32_t t, n, l;
  if (!FindEntry(sec, 0, type.name, type.id, t) || !(t & 0x80000000u)) return "<no type>";
  if (!FindEntry(sec, t & 0x7fffffff, name.name, name.id, n) || !(n & 0x80000000u)) return "<no name>";
  uint32_t langDir = n & 0x7fffffff;
  if (G16(sec, langDir + 14) < 1) return "<no language>";
  l = G32(sec, langDir + 16 + 4);
  if (l & 0x80000000u) return "<language is a directory>";
  uint32_t dataRva = G32(sec, l), size = G32(sec, l + 4);
  if (dataRva < rva || dataRva - rva + size > sec.size()) return "<data outside the section>";
  EXPECT_EQ((dataRva - rva) % 8, 0u) << "data aligned";
  return sec.substr(dataRva - rva, size);
}

// A small PE32+ image: headers (0x400) and one section of 0x200 bytes at 0x1000.
std::string SmallImage() {
  std::string img(0x600, '\0');
  img[0] = 'M';
  img[1] = 'Z';
  S32(img, 0x3c, 0x80);
  img.replace(0x80, 4, std::string("PE\0\0", 4));
  size_t coff = 0x84, opt = coff + 20;
  S16(img, coff, 0x8664);
  S16(img, coff + 2, 1);
  S16(img, coff + 16, 240);
  S16(img, opt, 0x20b);
  S32(img, opt + 8, 0);          // SizeOfInitializedData
  S32(img, opt + 32, 0x1000);    // SectionAlignment
  S32(img, opt + 36, 0x200);     // FileAlignment
  S32(img, opt + 56, 0x2000);    // SizeOfImage
  S32(img, opt + 60, 0x400);     // SizeOfHeaders
  S32(img, opt + 108, 16);       // NumberOfRvaAndSizes
  size_t sh = opt + 240;
  img.replace(sh, 8, std::string(".text\0\0\0", 8));
  S32(img, sh + 8, 0x180);
  S32(img, sh + 12, 0x1000);
  S32(img, sh + 16, 0x200);
  S32(img, sh + 20, 0x400);
  for (size_t i = 0x400; i < 0x580; ++i) img[i] = char(i * 7);
  return img;
}

std::string Section(uint32_t rva) {
  std::vector<Resource> res = {{ResId::Name("LUA"), ResId::Name("global_var.luac"), 1033, "chunk-1"},
                               {ResId::Name("LUA"), ResId::Name("INSTSCRIPT.LUAC"), 1033, "chunk-22"},
                               {ResId::Name("_7Z"), ResId::Name("APP.7Z"), 1033, std::string(1000, 'z')},
                               {ResId::Name("ZIP"), ResId::Number(249), 1033, "PK"},
                               {ResId::Number(kRtManifest), ResId::Number(1), 1033, "<assembly/>"}};
  std::string sec, error;
  EXPECT_TRUE(BuildResourceSection(res, rva, sec, error)) << error;
  return sec;
}

}  // namespace

TEST(ZpkpackResources, TreeIsFoundTheWayTheLoaderLooksUp) {
  const uint32_t rva = 0x5000;
  std::string sec = Section(rva);
  EXPECT_EQ(Lookup(sec, rva, ResId::Name("lua"), ResId::Name("GLOBAL_VAR.LUAC")), "chunk-1");
  EXPECT_EQ(Lookup(sec, rva, ResId::Name("LUA"), ResId::Name("INSTSCRIPT.LUAC")), "chunk-22");
  EXPECT_EQ(Lookup(sec, rva, ResId::Name("_7Z"), ResId::Name("APP.7Z")), std::string(1000, 'z'));
  EXPECT_EQ(Lookup(sec, rva, ResId::Name("ZIP"), ResId::Number(249)), "PK");
  EXPECT_EQ(Lookup(sec, rva, ResId::Number(kRtManifest), ResId::Number(1)), "<assembly/>");
  EXPECT_EQ(Lookup(sec, rva, ResId::Name("ZIP"), ResId::Number(250)), "<no name>");
  // Names before numbers, names in ascending order: the loader searches binarily.
  EXPECT_EQ(G16(sec, 12), 3u);
  EXPECT_EQ(G16(sec, 14), 1u);
  EXPECT_EQ(Section(rva), sec) << "same input, same bytes";
  std::vector<Resource> twice = {{ResId::Name("A"), ResId::Number(1), 1033, "x"},
                                 {ResId::Name("a"), ResId::Number(1), 1033, "y"}};
  std::string out, error;
  EXPECT_FALSE(BuildResourceSection(twice, 0, out, error));
}

TEST(ZpkpackResources, VersionInfoNodesAddUp) {
  std::string vi = BuildVersionInfo({1, 2, 3, 4}, {"Co", "Prod 解压", "Prod Setup", "(C) Co"});
  ASSERT_GE(vi.size(), 92u);
  EXPECT_EQ(G16(vi, 0), vi.size());
  EXPECT_EQ(G16(vi, 2), 52u);
  size_t fixed = 6 + 32 + 2;  // header, "VS_VERSION_INFO\0", padding to 4
  EXPECT_EQ(G32(vi, fixed), 0xFEEF04BDu);
  EXPECT_EQ(G32(vi, fixed + 8), 0x00010002u);
  EXPECT_EQ(G32(vi, fixed + 12), 0x00030004u);
  // Children of the root: StringFileInfo then VarFileInfo, lengths reaching the end exactly.
  size_t at = fixed + 52;
  std::vector<std::string> keys;
  while (at < vi.size()) {
    at = (at + 3) & ~size_t(3);
    uint32_t len = G16(vi, at);
    ASSERT_GT(len, 6u);
    std::string key;
    for (size_t k = at + 6; G16(vi, k); k += 2) key += char(G16(vi, k));
    keys.push_back(key);
    at += len;
  }
  EXPECT_EQ(at, vi.size());
  EXPECT_EQ(keys, (std::vector<std::string>{"StringFileInfo", "VarFileInfo"}));
  std::u16string product = u"Prod 解压";
  std::string utf16;
  for (char16_t c : product) utf16 += std::string{char(c & 0xff), char(c >> 8)};
  EXPECT_NE(vi.find(utf16), std::string::npos) << "product name in UTF-16";
}

TEST(ZpkpackResources, IconFileBecomesImagesAndAGroup) {
  std::string ico;
  auto p16 = [&](uint32_t v) { ico += char(v & 0xff); ico += char(v >> 8); };
  auto p32 = [&](uint32_t v) { p16(v & 0xffff); p16(v >> 16); };
  p16(0); p16(1); p16(2);
  ico += std::string{16, 16, 0, 0}; p16(1); p16(32); p32(3); p32(6 + 32);
  ico += std::string{32, 32, 0, 0}; p16(1); p16(32); p32(2); p32(6 + 32 + 3);
  ico += "AAABB";
  std::vector<Resource> out;
  std::string error;
  ASSERT_TRUE(IconResources(ico, 1, 1, out, error)) << error;
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0].data, "AAA");
  EXPECT_EQ(out[1].data, "BB");
  EXPECT_EQ(out[1].name.id, 2);
  const std::string& group = out[2].data;
  EXPECT_EQ(out[2].type.id, kRtGroupIcon);
  ASSERT_EQ(group.size(), 6u + 2 * 14);
  EXPECT_EQ(G16(group, 4), 2u);
  EXPECT_EQ(static_cast<unsigned char>(group[6 + 14]), 32);
  EXPECT_EQ(G32(group, 6 + 14 + 8), 2u) << "bytes in resource";
  EXPECT_EQ(G16(group, 6 + 14 + 12), 2u) << "icon id";
  out.clear();
  EXPECT_FALSE(IconResources(ico.substr(0, ico.size() - 1), 1, 1, out, error)) << "truncated image";
  EXPECT_FALSE(IconResources("GIF89a", 1, 1, out, error));
}

TEST(ZpkpackPe, ResourceSectionIsAddedWithHeadersAndChecksum) {
  std::string img = SmallImage(), error;
  uint32_t builtAt = 0;
  ASSERT_TRUE(AddResourceSection(img, [&](uint32_t rva, std::string& sec) {
    builtAt = rva;
    sec = Section(rva);
    return true;
  }, error)) << error;
  size_t opt = 0x84 + 20, sh = opt + 240 + 40;
  EXPECT_EQ(builtAt, 0x2000u);
  EXPECT_EQ(G16(img, 0x84 + 2), 2u);
  EXPECT_EQ(img.substr(sh, 8), std::string(".rsrc\0\0\0", 8));
  EXPECT_EQ(G32(img, sh + 12), 0x2000u);
  // On a page of its own in the file, so that the loader maps the payload's pages as they
  // are read instead of reading them all at the start (Wine reads a misaligned section).
  EXPECT_EQ(G32(img, sh + 20), 0x1000u);
  EXPECT_EQ(G32(img, sh + 16) % 0x200, 0u);
  EXPECT_EQ(img.size(), 0x1000u + G32(img, sh + 16));
  EXPECT_EQ(G32(img, opt + 112 + 16), 0x2000u) << "resource directory";
  EXPECT_EQ(G32(img, opt + 112 + 20), G32(img, sh + 8));
  EXPECT_EQ(G32(img, opt + 56), 0x2000u + ((G32(img, sh + 8) + 0xfff) & ~0xfffu)) << "SizeOfImage";
  EXPECT_EQ(G32(img, opt + 8), G32(img, sh + 16)) << "SizeOfInitializedData";
  uint32_t sum = G32(img, opt + 64);
  EXPECT_EQ(sum, PeChecksum(img));
  S32(img, opt + 64, 0x12345678);
  EXPECT_EQ(PeChecksum(img), sum) << "the checksum field itself is not summed";
  img[0x500] ^= 1;
  EXPECT_NE(PeChecksum(img), sum);
  EXPECT_EQ(img.substr(0x600, 0xA00), std::string(0xA00, '\0')) << "the gap is zeros";
  std::string sec = img.substr(0x1000, G32(img, sh + 8));
  EXPECT_EQ(Lookup(sec, 0x2000, ResId::Name("ZIP"), ResId::Number(249)), "PK");
}

TEST(ZpkpackPe, StubsThatCannotTakeASectionAreRefused) {
  auto build = [](uint32_t rva, std::string& sec) { sec = Section(rva); return true; };
  std::string error;
  std::string overlay = SmallImage() + std::string(0x200, 'x');
  EXPECT_FALSE(AddResourceSection(overlay, build, error));
  EXPECT_NE(error.find("after its last section"), std::string::npos) << error;
  std::string signedImg = SmallImage();
  S32(signedImg, 0x84 + 20 + 112 + 32, 0x600);
  EXPECT_FALSE(AddResourceSection(signedImg, build, error));
  std::string symbols = SmallImage() + std::string(0x10, 'x');
  S32(symbols, 0x84 + 8, 0x600);
  S32(symbols, 0x84 + 12, 3);
  EXPECT_FALSE(AddResourceSection(symbols, build, error)) << "a symbol table";
  // What strip leaves: the pointer to an empty string table, no symbols.
  std::string stripped = SmallImage() + std::string("\x04\0\0\0\0\0\0\0\0\0\0\0\0\0", 14);
  S32(stripped, 0x84 + 8, 0x600);
  ASSERT_TRUE(AddResourceSection(stripped, build, error)) << error;
  EXPECT_EQ(G32(stripped, 0x84 + 8), 0u);
  EXPECT_EQ(G32(stripped, 0x84 + 20 + 240 + 40 + 20), 0x1000u) << "the section follows the last one";
  std::string text = "MZ not really";
  EXPECT_FALSE(AddResourceSection(text, build, error));
  std::string noRoom = SmallImage();
  S32(noRoom, 0x84 + 20 + 60, 0x84 + 20 + 240 + 40);  // headers end right after the one header
  EXPECT_FALSE(AddResourceSection(noRoom, build, error));
}

TEST(ZpkpackZip, ArchiveReadsBackAndDoesNotDependOnOrder) {
  std::vector<ZipEntry> entries = {{"Layout/main.xml", std::string(5000, 'a') + "<Window/>"},
                                   {"font.xml", "<Fonts/>"},
                                   {"Image/empty.png", ""},
                                   {"Image/名.svg", "\x01\x02\x03"}};
  std::string zip = MakeZip(entries);
  std::vector<ZipEntry> reversed(entries.rbegin(), entries.rend());
  EXPECT_EQ(MakeZip(reversed), zip);
  // Read back through minizip from memory, via a temporary file.
  char path[] = "/tmp/zpkpack-zip-XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, zip.data(), zip.size()), static_cast<ssize_t>(zip.size()));
  close(fd);
  unzFile uf = unzOpen(path);
  ASSERT_NE(uf, nullptr);
  std::vector<std::string> names;
  for (int rc = unzGoToFirstFile(uf); rc == UNZ_OK; rc = unzGoToNextFile(uf)) {
    char name[256];
    unz_file_info info;
    ASSERT_EQ(unzGetCurrentFileInfo(uf, &info, name, sizeof name, nullptr, 0, nullptr, 0), UNZ_OK);
    EXPECT_EQ(info.dosDate, (1u << 21) | (1u << 16)) << "1980-01-01 00:00";
    names.push_back(name);
    std::string data(info.uncompressed_size, '\0');
    ASSERT_EQ(unzOpenCurrentFile(uf), UNZ_OK);
    if (!data.empty()) {
      EXPECT_EQ(unzReadCurrentFile(uf, &data[0], data.size()), static_cast<int>(data.size()));
    }
    EXPECT_EQ(unzCloseCurrentFile(uf), UNZ_OK) << "CRC checked for " << name;
    for (auto& e : entries) {
      if (e.first == name) {
        EXPECT_EQ(e.second, data) << name;
      }
    }
  }
  unzClose(uf);
  unlink(path);
  EXPECT_EQ(names, (std::vector<std::string>{"Image/empty.png", "Image/名.svg", "Layout/main.xml", "font.xml"}));
}

TEST(ZpkpackZip, SkinEngineReadsTheShippedSkinZipped) {
  std::vector<ZipEntry> entries;
  std::string error;
  ASSERT_TRUE(ReadTree(ZPK_SKIN_SOURCE_DIR, entries, error)) << error;
  ASSERT_GT(entries.size(), 3u);
  std::string zip = MakeZip(entries);
  skin::CSkinArchive archive;
  ASSERT_TRUE(archive.Open(zip.data(), zip.size()));
  EXPECT_EQ(archive.Entries().size(), entries.size());
  for (const auto& [name, data] : entries) {
    std::string bytes;
    EXPECT_TRUE(archive.Read(skin::FromUtf8(name.c_str()), &bytes)) << name;
    EXPECT_TRUE(bytes == data) << name;
  }
  EXPECT_TRUE(archive.Exists(L"layout/LAYOUT.xml")) << "names as the engine looks them up";
}
