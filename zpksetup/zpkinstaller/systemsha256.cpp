#include "systemsha256.h"

#include <windows.h>
#include <bcrypt.h>

namespace {

using OpenProvider = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE*, LPCWSTR, LPCWSTR, ULONG);
using CloseProvider = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, ULONG);
using CreateHash = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, BCRYPT_HASH_HANDLE*, PUCHAR, ULONG, PUCHAR, ULONG, ULONG);
using HashData = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
using FinishHash = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
using DestroyHash = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE);

std::string Hex(const UCHAR* digest) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (int i = 0; i < 32; ++i) {
    out += kHex[digest[i] >> 4];
    out += kHex[digest[i] & 15];
  }
  return out;
}

}  // namespace

struct SystemSha256Hash::Cng {
  HMODULE dll = LoadLibraryExW(L"bcrypt.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  OpenProvider open = dll ? reinterpret_cast<OpenProvider>(GetProcAddress(dll, "BCryptOpenAlgorithmProvider")) : nullptr;
  CloseProvider close = dll ? reinterpret_cast<CloseProvider>(GetProcAddress(dll, "BCryptCloseAlgorithmProvider")) : nullptr;
  CreateHash create = dll ? reinterpret_cast<CreateHash>(GetProcAddress(dll, "BCryptCreateHash")) : nullptr;
  HashData hash = dll ? reinterpret_cast<HashData>(GetProcAddress(dll, "BCryptHashData")) : nullptr;
  FinishHash finish = dll ? reinterpret_cast<FinishHash>(GetProcAddress(dll, "BCryptFinishHash")) : nullptr;
  DestroyHash destroy = dll ? reinterpret_cast<DestroyHash>(GetProcAddress(dll, "BCryptDestroyHash")) : nullptr;
  ~Cng() {
    if (dll) FreeLibrary(dll);
  }
  bool Usable() const { return open && close && create && hash && finish && destroy; }
};

SystemSha256Hash::SystemSha256Hash() : cng_(new Cng) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (!cng_->Usable() || cng_->open(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) return;
  algorithm_ = algorithm;
  if (cng_->create(algorithm, &hash, nullptr, 0, nullptr, 0, 0) != 0) return;
  hash_ = hash;
  ok_ = true;
}

SystemSha256Hash::~SystemSha256Hash() {
  if (hash_) cng_->destroy(hash_);
  if (algorithm_) cng_->close(algorithm_, 0);
}

bool SystemSha256Hash::Update(const uint8_t* data, size_t size) {
  // ULONG lengths: large pieces go in parts.
  constexpr size_t kPiece = 1u << 30;
  for (size_t at = 0; ok_ && at < size; at += kPiece) {
    const ULONG n = static_cast<ULONG>(size - at < kPiece ? size - at : kPiece);
    ok_ = cng_->hash(hash_, const_cast<PUCHAR>(data + at), n, 0) == 0;
  }
  return ok_;
}

std::string SystemSha256Hash::HexDigest() {
  UCHAR digest[32];
  if (!ok_ || cng_->finish(hash_, digest, sizeof digest, 0) != 0) return std::string();
  ok_ = false;  // a finished hash takes no more bytes
  return Hex(digest);
}

std::string SystemSha256(const uint8_t* data, size_t size) {
  SystemSha256Hash hash;
  hash.Update(data, size);
  return hash.HexDigest();
}
