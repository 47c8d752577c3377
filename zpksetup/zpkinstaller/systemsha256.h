// SHA-256 through the system's CNG (bcrypt.dll, loaded at run time): on Windows it uses the
// processor's SHA instructions, several times faster than the portable code for the
// ~90 MB payload checked at every start.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// 64 lowercase hex digits, or empty when CNG is unavailable or fails (the caller then
// falls back to the portable code).
std::string SystemSha256(const uint8_t* data, size_t size);
