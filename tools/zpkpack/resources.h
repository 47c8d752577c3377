// The resource section of a Windows executable, built from a list of resources: the
// three-level directory tree (type, name, language), the names, the data entries and the
// data, laid out for the section's address. Also the binary forms of a version resource
// and of an icon group.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zpkpack {

// A resource type or name: a string (stored upper-case, as the resource compiler does) or
// a 16-bit number.
struct ResId {
  std::u16string name;
  uint16_t id = 0;
  static ResId Name(const std::string& ascii);
  static ResId Number(uint16_t id);
  bool IsName() const { return !name.empty(); }
};

struct Resource {
  ResId type;
  ResId name;
  uint16_t language = 1033;
  std::string data;
};

enum : uint16_t { kRtIcon = 3, kRtGroupIcon = 14, kRtVersion = 16, kRtManifest = 24 };
// The icon group the installer's window loads (and Explorer shows, being the only one).
constexpr uint16_t kInstallerIconGroup = 128;

// The section contents for the resources; data entries hold addresses relative to the
// image base, so the section's own address `sectionRva` is needed. Two resources with the
// same type, name and language are refused (false, `error` set).
bool BuildResourceSection(const std::vector<Resource>& resources, uint32_t sectionRva,
                          std::string& section, std::string& error);

struct VersionStrings {
  std::string companyName, productName, description, copyright;  // UTF-8; empty ones are left out
};

// VS_VERSIONINFO with file and product version `v`, U.S. English / Unicode string table.
std::string BuildVersionInfo(const std::array<uint16_t, 4>& v, const VersionStrings& strings);

// Splits an .ico file into RT_ICON resources numbered from `firstId` and one RT_GROUP_ICON
// resource named `groupId`.
bool IconResources(const std::string& ico, uint16_t groupId, uint16_t firstId,
                   std::vector<Resource>& out, std::string& error);

std::u16string Utf8ToUtf16(const std::string& s);

}  // namespace zpkpack
