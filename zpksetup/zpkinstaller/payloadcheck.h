// The embedded payload's integrity check at start: the build records the SHA-256 of the
// payload resource's bytes (as stored) in the resource _7Z/APP.SHA256, 64 lowercase hex
// digits. A damaged or tampered download is refused before the install script changes
// anything, instead of failing halfway through the extraction. Portable decision here; the
// resource access and the user-facing report are in payloadverify.cpp.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

enum class PayloadState {
  kAbsent,         // no payload resource: nothing to check
  kIntact,         // the recorded hash matches
  kHashMissing,    // a payload but no recorded hash
  kHashMalformed,  // the recorded hash is not 64 hexadecimal digits
  kMismatch,       // the payload's bytes differ from what the build recorded
};

// The SHA-256 of the bytes as 64 lowercase hex digits; empty when it cannot be computed.
using PayloadHasher = std::string (*)(const uint8_t* data, size_t size);
// The portable SHA-256 (sha256.h).
std::string PortableSha256(const uint8_t* data, size_t size);

// payload null: no payload resource; recorded null: no hash resource. A recorded hash
// may carry trailing blanks or a line end (a hash file written by a tool).
PayloadState CheckPayload(const uint8_t* payload, size_t size, const char* recorded,
                          size_t recordedSize, PayloadHasher hasher = PortableSha256);

// The same verdict for a payload read elsewhere (the program's own file, in pieces):
// `digest` gives its SHA-256 as 64 lowercase hex digits, or empty when it cannot; it is
// called only when a payload is present and the recorded hash is well-formed.
PayloadState JudgePayload(bool present, const char* recorded, size_t recordedSize,
                          const std::function<std::string()>& digest);

inline bool PayloadUsable(PayloadState state) {
  return state == PayloadState::kAbsent || state == PayloadState::kIntact;
}

// Short English reason for the debug-output line and the log.
const wchar_t* PayloadStateText(PayloadState state);
