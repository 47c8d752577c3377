// SHA-256 through the system's CNG (bcrypt.dll, loaded at run time): on Windows it uses the
// processor's SHA instructions, several times faster than the portable code for the
// ~90 MB payload checked at every start.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// The hash fed piece by piece (the payload is read from the program's file in pieces).
class SystemSha256Hash {
 public:
  SystemSha256Hash();
  ~SystemSha256Hash();
  SystemSha256Hash(const SystemSha256Hash&) = delete;
  SystemSha256Hash& operator=(const SystemSha256Hash&) = delete;

  // False once CNG is unavailable or has failed; the digest is then empty.
  bool Update(const uint8_t* data, size_t size);
  // 64 lowercase hex digits, or empty when CNG is unavailable or failed.
  std::string HexDigest();

 private:
  struct Cng;
  std::unique_ptr<Cng> cng_;
  void* algorithm_ = nullptr;
  void* hash_ = nullptr;
  bool ok_ = false;
};

// 64 lowercase hex digits, or empty when CNG is unavailable or fails (the caller then
// falls back to the portable code).
std::string SystemSha256(const uint8_t* data, size_t size);
