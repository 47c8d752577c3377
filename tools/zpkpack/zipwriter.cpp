#include "zipwriter.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include <zlib.h>

namespace fs = std::filesystem;

namespace zpkpack {
namespace {

void Put16(std::string& s, uint32_t v) {
  s += static_cast<char>(v & 0xff);
  s += static_cast<char>((v >> 8) & 0xff);
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xffff);
  Put16(s, v >> 16);
}

const uint32_t kDosDate = (0 << 9) | (1 << 5) | 1;  // 1980-01-01
const uint32_t kDosTime = 0;

std::string Deflate(const std::string& in) {
  z_stream z{};
  if (deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) return {};
  std::string out(deflateBound(&z, in.size()), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = reinterpret_cast<Bytef*>(&out[0]);
  z.avail_out = static_cast<uInt>(out.size());
  int rc = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return rc == Z_STREAM_END ? out : std::string();
}

}  // namespace

std::string MakeZip(std::vector<ZipEntry> entries) {
  std::sort(entries.begin(), entries.end(),
            [](const ZipEntry& a, const ZipEntry& b) { return a.first < b.first; });
  std::string zip, central;
  for (const auto& [name, data] : entries) {
    uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()),
                                               static_cast<uInt>(data.size())));
    std::string packed = Deflate(data);
    bool deflated = !packed.empty() && packed.size() < data.size();
    const std::string& body = deflated ? packed : data;
    uint32_t offset = static_cast<uint32_t>(zip.size());
    auto common = [&](std::string& h) {
      Put16(h, 20);                   // version needed: 2.0
      Put16(h, 0x0800);               // names are UTF-8
      Put16(h, deflated ? 8 : 0);
      Put16(h, kDosTime);
      Put16(h, kDosDate);
      Put32(h, crc);
      Put32(h, static_cast<uint32_t>(body.size()));
      Put32(h, static_cast<uint32_t>(data.size()));
      Put16(h, static_cast<uint32_t>(name.size()));
      Put16(h, 0);                    // extra field
    };
    Put32(zip, 0x04034b50);
    common(zip);
    zip += name;
    zip += body;
    Put32(central, 0x02014b50);
    Put16(central, 20);               // made by: MS-DOS attributes, 2.0
    common(central);
    Put16(central, 0);                // comment
    Put16(central, 0);                // disk
    Put16(central, 0);                // internal attributes
    Put32(central, 0);                // external attributes
    Put32(central, offset);
    central += name;
  }
  uint32_t centralAt = static_cast<uint32_t>(zip.size());
  zip += central;
  Put32(zip, 0x06054b50);
  Put16(zip, 0);
  Put16(zip, 0);
  Put16(zip, static_cast<uint32_t>(entries.size()));
  Put16(zip, static_cast<uint32_t>(entries.size()));
  Put32(zip, static_cast<uint32_t>(central.size()));
  Put32(zip, centralAt);
  Put16(zip, 0);
  return zip;
}

bool ReadTree(const std::string& dir, std::vector<ZipEntry>& entries, std::string& error) {
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) {
    error = dir + ": not a readable folder";
    return false;
  }
  fs::recursive_directory_iterator it(dir, ec), end;
  if (ec) {
    error = dir + ": " + ec.message();
    return false;
  }
  for (; it != end; it.increment(ec)) {
    if (ec) break;
    if (!it->is_regular_file(ec)) continue;
    std::ifstream in(it->path(), std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    if (!in) {
      error = it->path().string() + ": cannot be read";
      return false;
    }
    entries.emplace_back(fs::relative(it->path(), dir).generic_string(), data.str());
  }
  if (ec) {
    error = dir + ": " + ec.message();
    return false;
  }
  return true;
}

}  // namespace zpkpack
