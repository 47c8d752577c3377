// SHA-256 (FIPS 180-4), portable: the installer checks its embedded payload with it before
// anything changes on the machine.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

class Sha256 {
 public:
  Sha256();
  void Update(const void* data, size_t size);
  // The digest; the object must not be updated afterwards.
  void Final(uint8_t digest[32]);
  // The digest as 64 lowercase hexadecimal digits.
  std::string HexDigest();

 private:
  void Block(const uint8_t* p);

  uint32_t state_[8];
  uint64_t length_ = 0;  // bytes seen
  uint8_t buffer_[64];
  size_t used_ = 0;
};

// 64 lowercase hexadecimal digits of the SHA-256 of the bytes.
std::string Sha256Hex(const void* data, size_t size);
