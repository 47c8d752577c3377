#include "payloadcheck.h"

#include <string>

#include "sha256.h"

namespace {

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
char Lower(char c) { return c >= 'A' && c <= 'F' ? static_cast<char>(c - 'A' + 'a') : c; }

// The 64 digits in lower case, or empty when the text is anything else.
std::string RecordedDigits(const char* text, size_t size) {
  while (size > 0 && (text[size - 1] == ' ' || text[size - 1] == '\t' || text[size - 1] == '\r' ||
                      text[size - 1] == '\n' || text[size - 1] == '\0'))
    --size;
  if (size != 64) return std::string();
  std::string digits;
  for (size_t i = 0; i < size; ++i) {
    if (!IsHexDigit(text[i])) return std::string();
    digits += Lower(text[i]);
  }
  return digits;
}

}  // namespace

std::string PortableSha256(const uint8_t* data, size_t size) { return Sha256Hex(data, size); }

PayloadState JudgePayload(bool present, const char* recorded, size_t recordedSize,
                          const std::function<std::string()>& digest) {
  if (!present) return PayloadState::kAbsent;
  if (!recorded) return PayloadState::kHashMissing;
  const std::string expected = RecordedDigits(recorded, recordedSize);
  if (expected.empty()) return PayloadState::kHashMalformed;
  return digest() == expected ? PayloadState::kIntact : PayloadState::kMismatch;
}

PayloadState CheckPayload(const uint8_t* payload, size_t size, const char* recorded,
                          size_t recordedSize, PayloadHasher hasher) {
  return JudgePayload(payload != nullptr, recorded, recordedSize, [&] {
    std::string actual = hasher(payload, size);
    return actual.empty() ? PortableSha256(payload, size) : actual;
  });
}

const wchar_t* PayloadStateText(PayloadState state) {
  switch (state) {
    case PayloadState::kAbsent: return L"no payload";
    case PayloadState::kIntact: return L"payload intact";
    case PayloadState::kHashMissing: return L"no recorded payload hash";
    case PayloadState::kHashMalformed: return L"recorded payload hash malformed";
    case PayloadState::kMismatch: return L"payload hash mismatch";
  }
  return L"payload check failed";
}
