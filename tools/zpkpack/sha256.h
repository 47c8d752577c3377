// SHA-256 of a byte string, as 64 lowercase hexadecimal digits (the installer checks its
// payload against it).
#pragma once
#include <string>

namespace zpkpack {
std::string Sha256Hex(const std::string& data);
}
