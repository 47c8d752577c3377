#include "peimage.h"

namespace zpkpack {
namespace {

uint32_t Get16(const std::string& s, size_t at) {
  return uint32_t(static_cast<unsigned char>(s[at])) | uint32_t(static_cast<unsigned char>(s[at + 1])) << 8;
}
uint32_t Get32(const std::string& s, size_t at) { return Get16(s, at) | Get16(s, at + 2) << 16; }
void Set16(std::string& s, size_t at, uint32_t v) {
  s[at] = static_cast<char>(v & 0xff);
  s[at + 1] = static_cast<char>((v >> 8) & 0xff);
}
void Set32(std::string& s, size_t at, uint32_t v) {
  Set16(s, at, v & 0xffff);
  Set16(s, at + 2, v >> 16);
}
constexpr uint32_t kPage = 4096;

uint32_t AlignUp(uint64_t v, uint32_t a) { return static_cast<uint32_t>((v + a - 1) / a * a); }

// Offsets of the headers this code touches.
struct Layout {
  size_t coff = 0;        // COFF file header
  size_t optional = 0;    // optional header
  size_t sections = 0;    // first section header
  uint16_t count = 0;     // number of sections
  bool plus = false;
  size_t checksum() const { return optional + 64; }
  size_t dataDirs() const { return optional + (plus ? 112 : 96); }
  size_t numberOfDirs() const { return optional + (plus ? 108 : 92); }
};

bool Parse(const std::string& image, Layout& l, std::string& error) {
  if (image.size() < 0x40 || image.compare(0, 2, "MZ") != 0) {
    error = "not a Windows executable (no MZ header)";
    return false;
  }
  size_t pe = Get32(image, 0x3c);
  if (pe > image.size() - 24 || image.compare(pe, 4, std::string("PE\0\0", 4)) != 0) {
    error = "not a Windows executable (no PE header)";
    return false;
  }
  l.coff = pe + 4;
  l.count = static_cast<uint16_t>(Get16(image, l.coff + 2));
  uint32_t optSize = Get16(image, l.coff + 16);
  l.optional = l.coff + 20;
  l.sections = l.optional + optSize;
  if (l.sections + size_t(l.count) * 40 > image.size() || optSize < 96) {
    error = "truncated PE headers";
    return false;
  }
  uint32_t magic = Get16(image, l.optional);
  if (magic != 0x10b && magic != 0x20b) {
    error = "unknown optional header";
    return false;
  }
  l.plus = magic == 0x20b;
  if (Get32(image, l.numberOfDirs()) < 5 || l.dataDirs() + 16 * 5 > l.sections) {
    error = "too few data directories";
    return false;
  }
  return true;
}

}  // namespace

bool ReadPeInfo(const std::string& image, PeInfo& info, std::string& error) {
  Layout l;
  if (!Parse(image, l, error)) return false;
  info.pe32plus = l.plus;
  info.machine = static_cast<uint16_t>(Get16(image, l.coff));
  return true;
}

uint32_t PeChecksum(const std::string& image) {
  Layout l;
  std::string ignored;
  size_t skip = Parse(image, l, ignored) ? l.checksum() : size_t(-1);
  uint64_t sum = 0;
  for (size_t i = 0; i < image.size(); i += 2) {
    if (i == skip || i == skip + 2) continue;
    uint32_t word = static_cast<unsigned char>(image[i]);
    if (i + 1 < image.size()) word |= uint32_t(static_cast<unsigned char>(image[i + 1])) << 8;
    sum += word;
    sum = (sum & 0xffff) + (sum >> 16);
  }
  sum = (sum & 0xffff) + (sum >> 16);
  return static_cast<uint32_t>(sum + image.size());
}

bool AddResourceSection(std::string& image, const std::function<bool(uint32_t, std::string&)>& build,
                        std::string& error) {
  Layout l;
  if (!Parse(image, l, error)) return false;
  const size_t dirs = l.dataDirs();
  if (Get32(image, dirs + 8 * 4) != 0 || Get32(image, dirs + 8 * 4 + 4) != 0) {
    error = "the stub is signed; use an unsigned stub";
    return false;
  }
  const uint32_t symbolTable = Get32(image, l.coff + 8);
  if (symbolTable != 0 && Get32(image, l.coff + 12) != 0) {
    error = "the stub carries a symbol table; use a stripped stub";
    return false;
  }
  const uint32_t sectionAlign = Get32(image, l.optional + 32);
  const uint32_t fileAlign = Get32(image, l.optional + 36);
  const uint32_t headersSize = Get32(image, l.optional + 60);
  if (sectionAlign == 0 || fileAlign == 0) {
    error = "bad section alignment";
    return false;
  }
  // Where the last section ends, in the file and in memory.
  uint64_t fileEnd = headersSize, memEnd = 0;
  for (uint16_t i = 0; i < l.count; ++i) {
    size_t h = l.sections + size_t(i) * 40;
    uint32_t vsize = Get32(image, h + 8), va = Get32(image, h + 12);
    uint32_t rawSize = Get32(image, h + 16), raw = Get32(image, h + 20);
    if (rawSize && uint64_t(raw) + rawSize > fileEnd) fileEnd = uint64_t(raw) + rawSize;
    uint64_t end = uint64_t(va) + (vsize ? vsize : rawSize);
    if (end > memEnd) memEnd = end;
  }
  if (fileEnd > image.size()) {
    error = "truncated section data";
    return false;
  }
  // binutils' strip leaves an empty string table behind the last section (no symbols,
  // only its size field): it goes, so that the new section can follow the last one.
  if (symbolTable >= fileEnd && symbolTable <= image.size() && Get32(image, l.coff + 12) == 0) {
    image.resize(symbolTable);
    Set32(image, l.coff + 8, 0);
  }
  if (AlignUp(fileEnd, fileAlign) < image.size()) {
    error = "the stub carries data after its last section";
    return false;
  }
  size_t header = l.sections + size_t(l.count) * 40;
  if (header + 40 > headersSize) {
    error = "no room for another section header";
    return false;
  }
  for (size_t i = header; i < header + 40; ++i)
    if (image[i] != 0) {
      error = "no room for another section header";
      return false;
    }
  const uint32_t rva = AlignUp(memEnd, sectionAlign);
  std::string section;
  if (!build(rva, section)) {
    error = "cannot build the resource section";
    return false;
  }
  // The section's bytes start on a page of the file, as they do in memory: a loader can then
  // map the payload's pages as they are read. Wine reads a section whose file offset is not
  // page-aligned whole into memory at the start, and the process carries the payload's size
  // for its whole life. Page size is a multiple of any file alignment up to it.
  const uint32_t raw = AlignUp(fileEnd, fileAlign > kPage ? fileAlign : kPage);
  const uint32_t rawSize = AlignUp(section.size(), fileAlign);
  image.resize(raw, '\0');
  image += section;
  image.resize(size_t(raw) + rawSize, '\0');

  image.replace(header, 8, std::string(".rsrc\0\0\0", 8));
  Set32(image, header + 8, static_cast<uint32_t>(section.size()));
  Set32(image, header + 12, rva);
  Set32(image, header + 16, rawSize);
  Set32(image, header + 20, raw);
  Set32(image, header + 36, 0x40000040);  // initialised data, readable
  Set16(image, l.coff + 2, l.count + 1u);
  Set32(image, l.optional + 8, Get32(image, l.optional + 8) + rawSize);    // SizeOfInitializedData
  Set32(image, l.optional + 56, AlignUp(uint64_t(rva) + section.size(), sectionAlign));  // SizeOfImage
  Set32(image, dirs + 8 * 2, rva);
  Set32(image, dirs + 8 * 2 + 4, static_cast<uint32_t>(section.size()));
  Set32(image, l.checksum(), PeChecksum(image));
  return true;
}

}  // namespace zpkpack
