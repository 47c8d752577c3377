// A zip archive made the same way every time: entries in byte order of their names, every
// time stamp 1980-01-01 00:00, no extra fields, every entry deflated (or stored when that is
// smaller). The skin engine reads it from memory.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace zpkpack {

using ZipEntry = std::pair<std::string, std::string>;  // name with '/' separators, contents

std::string MakeZip(std::vector<ZipEntry> entries);

// Every regular file under `dir`, named relative to it. False (with `error`) when the folder
// or a file in it cannot be read.
bool ReadTree(const std::string& dir, std::vector<ZipEntry>& entries, std::string& error);

}  // namespace zpkpack
