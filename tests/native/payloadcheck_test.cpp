// The payload's start-up check: SHA-256 against published test vectors (also fed in
// pieces of every awkward size), and the verdict for each kind of damage.
#include <gtest/gtest.h>

#include <string>

#include "payloadcheck.h"
#include "sha256.h"

namespace {

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

TEST(Sha256, KnownVectors) {
  EXPECT_EQ(Sha256Hex("", 0), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex("abc", 3), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";  // 448 bits
  EXPECT_EQ(Sha256Hex(two.data(), two.size()),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  const std::string million(1000000, 'a');
  EXPECT_EQ(Sha256Hex(million.data(), million.size()),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, PiecesGiveTheSameDigest) {
  std::string data;
  for (int i = 0; i < 1000; ++i) data += static_cast<char>(i * 7 + i / 13);
  const std::string whole = Sha256Hex(data.data(), data.size());
  // Lengths around the 55/56/64-byte padding boundaries, and pieces straddling blocks.
  for (size_t length : {55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 1000u}) {
    const std::string part = data.substr(0, length);
    for (size_t piece : {1u, 3u, 63u, 64u, 65u}) {
      Sha256 sha;
      for (size_t at = 0; at < part.size(); at += piece) sha.Update(part.data() + at, std::min(piece, part.size() - at));
      EXPECT_EQ(sha.HexDigest(), Sha256Hex(part.data(), part.size())) << length << "/" << piece;
    }
  }
  EXPECT_EQ(whole.size(), 64u);
}

TEST(PayloadCheck, Verdicts) {
  const std::string payload = "z7\xBC\xAF\x27\x1C payload bytes as stored";
  const std::string hash = Sha256Hex(payload.data(), payload.size());
  const auto check = [&](const std::string& p, const std::string* recorded) {
    return CheckPayload(Bytes(p), p.size(), recorded ? recorded->data() : nullptr, recorded ? recorded->size() : 0);
  };
  EXPECT_EQ(CheckPayload(nullptr, 0, nullptr, 0), PayloadState::kAbsent);
  EXPECT_EQ(CheckPayload(nullptr, 0, hash.data(), hash.size()), PayloadState::kAbsent);
  EXPECT_EQ(check(payload, &hash), PayloadState::kIntact);
  // A tool's hash file: upper case, line end, trailing NUL.
  std::string upper = hash;
  for (char& c : upper) c = static_cast<char>(toupper(c));
  const std::string withEnd = upper + "\r\n";
  const std::string withNul = hash + std::string(1, '\0');
  EXPECT_EQ(check(payload, &withEnd), PayloadState::kIntact);
  EXPECT_EQ(check(payload, &withNul), PayloadState::kIntact);
  EXPECT_TRUE(PayloadUsable(check(payload, &hash)));

  std::string flipped = payload;
  flipped[10] ^= 0x01;
  EXPECT_EQ(check(flipped, &hash), PayloadState::kMismatch);
  EXPECT_EQ(check(payload.substr(0, payload.size() - 1), &hash), PayloadState::kMismatch);
  EXPECT_EQ(check(std::string(), &hash), PayloadState::kMismatch);  // empty payload resource
  EXPECT_EQ(check(payload, nullptr), PayloadState::kHashMissing);
  for (const std::string bad : {hash.substr(0, 63), hash + "0", std::string(64, 'g'), std::string(),
                                " " + hash.substr(1)}) {
    EXPECT_EQ(check(payload, &bad), PayloadState::kHashMalformed) << bad;
  }
  // The system hasher's answer is used; an empty answer (no CNG) falls back to the
  // portable code.
  const auto none = [](const uint8_t*, size_t) { return std::string(); };
  const auto wrong = [](const uint8_t*, size_t) { return std::string(64, '0'); };
  EXPECT_EQ(CheckPayload(Bytes(payload), payload.size(), hash.data(), hash.size(), none), PayloadState::kIntact);
  EXPECT_EQ(CheckPayload(Bytes(flipped), flipped.size(), hash.data(), hash.size(), none), PayloadState::kMismatch);
  EXPECT_EQ(CheckPayload(Bytes(payload), payload.size(), hash.data(), hash.size(), wrong), PayloadState::kMismatch);
  EXPECT_FALSE(PayloadUsable(PayloadState::kMismatch));
  EXPECT_FALSE(PayloadUsable(PayloadState::kHashMissing));
  EXPECT_FALSE(PayloadUsable(PayloadState::kHashMalformed));
}

}  // namespace
