#include "resources.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace zpkpack {
namespace {

void Put16(std::string& s, uint16_t v) {
  s += static_cast<char>(v & 0xff);
  s += static_cast<char>(v >> 8);
}
void Put32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xff);
}
void Set16(std::string& s, size_t at, uint16_t v) {
  s[at] = static_cast<char>(v & 0xff);
  s[at + 1] = static_cast<char>(v >> 8);
}
uint16_t Get16(const std::string& s, size_t at) {
  return uint16_t(static_cast<unsigned char>(s[at]) | static_cast<unsigned char>(s[at + 1]) << 8);
}
uint32_t Get32(const std::string& s, size_t at) {
  return uint32_t(Get16(s, at)) | uint32_t(Get16(s, at + 2)) << 16;
}
void Align(std::string& s, size_t n) {
  while (s.size() % n) s += '\0';
}

// Directory order: names first, compared as the loader's binary search expects (by UTF-16
// unit), then numbers ascending.
bool IdLess(const ResId& a, const ResId& b) {
  if (a.IsName() != b.IsName()) return a.IsName();
  if (a.IsName()) return a.name < b.name;
  return a.id < b.id;
}
struct IdOrder {
  bool operator()(const ResId& a, const ResId& b) const { return IdLess(a, b); }
};

void PutUtf16(std::string& s, const std::u16string& text) {
  for (char16_t c : text) Put16(s, c);
}

}  // namespace

std::u16string Utf8ToUtf16(const std::string& s) {
  std::u16string out;
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    uint32_t cp = 0xfffd;
    size_t len = 1;
    if (c < 0x80) cp = c;
    else if ((c >> 5) == 6) { len = 2; cp = c & 0x1f; }
    else if ((c >> 4) == 14) { len = 3; cp = c & 0x0f; }
    else if ((c >> 3) == 30) { len = 4; cp = c & 0x07; }
    if (len > 1) {
      if (i + len > s.size()) { cp = 0xfffd; len = 1; }
      else
        for (size_t k = 1; k < len; ++k) {
          unsigned char d = static_cast<unsigned char>(s[i + k]);
          if ((d >> 6) != 2) { cp = 0xfffd; len = k; break; }
          cp = cp << 6 | (d & 0x3f);
        }
    }
    i += len;
    if (cp >= 0x10000 && cp <= 0x10ffff) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xd800 + (cp >> 10));
      out += static_cast<char16_t>(0xdc00 + (cp & 0x3ff));
    } else {
      out += static_cast<char16_t>(cp > 0x10ffff ? 0xfffd : cp);
    }
  }
  return out;
}

ResId ResId::Name(const std::string& ascii) {
  ResId r;
  for (char c : ascii) r.name += static_cast<char16_t>(c >= 'a' && c <= 'z' ? c - 32 : c);
  return r;
}
ResId ResId::Number(uint16_t id) {
  ResId r;
  r.id = id;
  return r;
}

bool BuildResourceSection(const std::vector<Resource>& resources, uint32_t sectionRva,
                          std::string& section, std::string& error) {
  // type -> name -> language -> resource index
  std::map<ResId, std::map<ResId, std::map<uint16_t, size_t>, IdOrder>, IdOrder> tree;
  for (size_t i = 0; i < resources.size(); ++i) {
    const Resource& r = resources[i];
    auto& langs = tree[r.type][r.name];
    if (!langs.emplace(r.language, i).second) {
      error = "two resources with the same type, name and language";
      return false;
    }
  }
  // Sizes: every directory is 16 bytes plus 8 per entry; they all come first.
  size_t dirBytes = 16 + 8 * tree.size();
  std::vector<ResId> names;
  size_t leaves = 0;
  for (auto& [type, byName] : tree) {
    if (type.IsName()) names.push_back(type);
    dirBytes += 16 + 8 * byName.size();
    for (auto& [name, byLang] : byName) {
      if (name.IsName()) names.push_back(name);
      dirBytes += 16 + 8 * byLang.size();
      leaves += byLang.size();
    }
  }
  // Then the names (length-prefixed UTF-16), then the data entries, then the data.
  std::map<std::u16string, uint32_t> nameOffset;
  std::string strings;
  for (const ResId& n : names) {
    if (nameOffset.count(n.name)) continue;
    nameOffset[n.name] = static_cast<uint32_t>(dirBytes + strings.size());
    Put16(strings, static_cast<uint16_t>(n.name.size()));
    PutUtf16(strings, n.name);
  }
  size_t entriesAt = (dirBytes + strings.size() + 7) / 8 * 8;
  size_t dataAt = entriesAt + 16 * leaves;

  std::string dirs, entries, data;
  auto entryName = [&](const ResId& id) -> uint32_t {
    return id.IsName() ? (0x80000000u | nameOffset[id.name]) : id.id;
  };
  auto directory = [&](size_t named, size_t numbered) {
    Put32(dirs, 0);  // characteristics
    Put32(dirs, 0);  // time stamp: none, so that the same inputs give the same bytes
    Put32(dirs, 0);  // version
    Put16(dirs, static_cast<uint16_t>(named));
    Put16(dirs, static_cast<uint16_t>(numbered));
  };
  auto counts = [](const auto& m) {
    size_t named = 0;
    for (auto& kv : m) named += kv.first.IsName();
    return std::make_pair(named, m.size() - named);
  };
  // Breadth-first: the root, then every type's directory, then every name's directory.
  auto [rootNamed, rootNumbered] = counts(tree);
  directory(rootNamed, rootNumbered);
  size_t next = 16 + 8 * tree.size();
  for (auto& [type, byName] : tree) {
    Put32(dirs, entryName(type));
    Put32(dirs, 0x80000000u | static_cast<uint32_t>(next));
    next += 16 + 8 * byName.size();
  }
  std::vector<size_t> order;  // resource indices in leaf order
  for (auto& [type, byName] : tree) {
    auto [named, numbered] = counts(byName);
    directory(named, numbered);
    for (auto& [name, byLang] : byName) {
      Put32(dirs, entryName(name));
      Put32(dirs, 0x80000000u | static_cast<uint32_t>(next));
      next += 16 + 8 * byLang.size();
    }
  }
  for (auto& [type, byName] : tree) {
    for (auto& [name, byLang] : byName) {
      directory(0, byLang.size());
      for (auto& [lang, index] : byLang) {
        Put32(dirs, lang);
        Put32(dirs, static_cast<uint32_t>(entriesAt + 16 * order.size()));
        order.push_back(index);
      }
    }
  }
  for (size_t index : order) {
    const std::string& bytes = resources[index].data;
    Put32(entries, static_cast<uint32_t>(sectionRva + dataAt + data.size()));
    Put32(entries, static_cast<uint32_t>(bytes.size()));
    Put32(entries, 0);  // code page
    Put32(entries, 0);
    data += bytes;
    Align(data, 8);
  }
  section = dirs + strings;
  Align(section, 8);
  section += entries + data;
  return true;
}

namespace {

// One node of a version resource: header, key, value, children, each 32-bit aligned.
std::string VersionNode(const std::u16string& key, const std::string& value, uint16_t valueLength,
                        bool text, const std::vector<std::string>& children) {
  std::string n;
  Put16(n, 0);
  Put16(n, valueLength);
  Put16(n, text ? 1 : 0);
  PutUtf16(n, key);
  Put16(n, 0);
  Align(n, 4);
  n += value;
  for (const std::string& child : children) {
    Align(n, 4);
    n += child;
  }
  Set16(n, 0, static_cast<uint16_t>(n.size()));
  return n;
}

std::string StringNode(const std::string& key, const std::string& utf8) {
  std::u16string v = Utf8ToUtf16(utf8);
  std::string value;
  PutUtf16(value, v);
  Put16(value, 0);
  return VersionNode(Utf8ToUtf16(key), value, static_cast<uint16_t>(v.size() + 1), true, {});
}

}  // namespace

std::string BuildVersionInfo(const std::array<uint16_t, 4>& v, const VersionStrings& strings) {
  std::string text = std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) +
                     "." + std::to_string(v[3]);
  std::string fixed;
  Put32(fixed, 0xFEEF04BD);                 // signature
  Put32(fixed, 0x00010000);                 // structure version
  for (int twice = 0; twice < 2; ++twice) { // file version, product version
    Put32(fixed, uint32_t(v[0]) << 16 | v[1]);
    Put32(fixed, uint32_t(v[2]) << 16 | v[3]);
  }
  Put32(fixed, 0x3F);                       // flags mask
  Put32(fixed, 0);                          // flags
  Put32(fixed, 0x00040004);                 // VOS_NT_WINDOWS32
  Put32(fixed, 1);                          // VFT_APP
  Put32(fixed, 0);                          // subtype
  Put32(fixed, 0);                          // date
  Put32(fixed, 0);

  std::vector<std::string> table;
  auto add = [&](const char* key, const std::string& value) {
    if (!value.empty()) table.push_back(StringNode(key, value));
  };
  add("CompanyName", strings.companyName);
  add("FileDescription", strings.description);
  add("FileVersion", text);
  add("LegalCopyright", strings.copyright);
  add("ProductName", strings.productName);
  add("ProductVersion", text);
  std::string stringTable = VersionNode(u"040904b0", "", 0, true, table);
  std::string stringInfo = VersionNode(u"StringFileInfo", "", 0, true, {stringTable});
  std::string translation;
  Put16(translation, 0x0409);
  Put16(translation, 1200);
  std::string var = VersionNode(u"Translation", translation, 4, false, {});
  std::string varInfo = VersionNode(u"VarFileInfo", "", 0, true, {var});
  return VersionNode(u"VS_VERSION_INFO", fixed, static_cast<uint16_t>(fixed.size()), false,
                     {stringInfo, varInfo});
}

bool IconResources(const std::string& ico, uint16_t groupId, uint16_t firstId,
                   std::vector<Resource>& out, std::string& error) {
  if (ico.size() < 6 || Get16(ico, 0) != 0 || Get16(ico, 2) != 1 || Get16(ico, 4) == 0) {
    error = "not an icon file (.ico)";
    return false;
  }
  uint16_t count = Get16(ico, 4);
  if (ico.size() < 6 + size_t(count) * 16 || count > 0xffff - firstId) {
    error = "the icon file is truncated";
    return false;
  }
  std::string group;
  Put16(group, 0);
  Put16(group, 1);
  Put16(group, count);
  std::vector<Resource> images;
  for (uint16_t i = 0; i < count; ++i) {
    size_t e = 6 + size_t(i) * 16;
    uint32_t size = Get32(ico, e + 8), offset = Get32(ico, e + 12);
    if (size == 0 || offset > ico.size() || size > ico.size() - offset) {
      error = "the icon file is truncated";
      return false;
    }
    group.append(ico, e, 12);  // width, height, colours, reserved, planes, bit count, size
    Put16(group, static_cast<uint16_t>(firstId + i));
    images.push_back({ResId::Number(kRtIcon), ResId::Number(static_cast<uint16_t>(firstId + i)), 1033,
                      ico.substr(offset, size)});
  }
  out.insert(out.end(), images.begin(), images.end());
  out.push_back({ResId::Number(kRtGroupIcon), ResId::Number(groupId), 1033, group});
  return true;
}

}  // namespace zpkpack
