#include "payloadverify.h"

#include <cstdint>
#include <string>
#include <vector>

#include "log/debugoutput.h"
#include "log/qvbaselog.h"
#include "msgbox.h"
#include "payloadcheck.h"
#include "resource/moduleresource.h"
#include "resource/resourcefile.h"
#include "sha256.h"
#include "systemsha256.h"
#include "textconv.h"

namespace {

const wchar_t kPayloadType[] = L"_7Z";
const wchar_t kPayloadName[] = L"APP.7Z";
const wchar_t kHashName[] = L"APP.SHA256";
const wchar_t kDamagedText[] = L"安装程序已损坏，无法安装。请重新下载安装程序。";

// The bytes of a resource as stored in the image; null when there is no such resource
// (an empty one is there, and checked like any other).
const uint8_t* ResourceBytes(HMODULE module, const wchar_t* name, DWORD* size) {
  qvbase::ResourceBytes found;
  const qvbase::ResourceResult result = qvbase::ReadModuleResource(module, name, kPayloadType, &found);
  const bool there = result == qvbase::ResourceResult::kOk || result == qvbase::ResourceResult::kEmpty;
  *size = there ? found.size : 0;
  return there ? found.data : nullptr;
}

// The SHA-256 of the payload read from the program's own file in pieces, so that its pages
// of the mapped image stay untouched (and out of the process's memory); empty when the
// file cannot be read so.
std::string FileDigest(HMODULE module, const uint8_t* payload, DWORD size) {
  qvbase::ResourceFile own;
  if (!own.Open(module, qvbase::ResourceBytes{payload, size})) return std::string();
  constexpr DWORD kPiece = 1u << 20;
  std::vector<uint8_t> piece(kPiece);
  SystemSha256Hash system;
  Sha256 portable;
  bool useSystem = true;
  for (uint64_t at = 0; at < size;) {
    const DWORD n = size - at < kPiece ? static_cast<DWORD>(size - at) : kPiece;
    if (!own.Read(at, piece.data(), n)) return std::string();
    if (useSystem && !system.Update(piece.data(), n)) {
      if (at > 0) return std::string();  // CNG failed part-way: the mapped bytes are hashed instead
      useSystem = false;
    }
    if (!useSystem) portable.Update(piece.data(), n);
    at += n;
  }
  return useSystem ? system.HexDigest() : portable.HexDigest();
}

}  // namespace

PayloadState CheckEmbeddedPayload(HMODULE module) {
  const ULONGLONG start = GetTickCount64();
  DWORD payloadSize = 0, hashSize = 0;
  const uint8_t* payload = ResourceBytes(module, kPayloadName, &payloadSize);
  const uint8_t* hash = ResourceBytes(module, kHashName, &hashSize);
  const PayloadState state =
      JudgePayload(payload != nullptr, reinterpret_cast<const char*>(hash), hash ? hashSize : 0, [&] {
        std::string digest = FileDigest(module, payload, payloadSize);
        if (digest.empty()) digest = SystemSha256(payload, payloadSize);
        return digest.empty() ? PortableSha256(payload, payloadSize) : digest;
      });
  const ULONGLONG elapsed = GetTickCount64() - start;
  QVLOG_INFO("payload check: {} bytes, {}, {} ms", static_cast<uint64_t>(payloadSize),
             Utf16ToUtf8(PayloadStateText(state)), static_cast<uint64_t>(elapsed));
  return state;
}

void ReportDamagedPayload(PayloadState state, bool silent, const std::wstring& caption, HWND owner) {
  qd::Output(L"Payload check failed: %ls, nothing installed\r\n", PayloadStateText(state));
  if (!silent) ZpkMessageBox(owner, kDamagedText, caption.c_str(), MB_ICONERROR | MB_OK);
}

bool VerifyEmbeddedPayload(HMODULE module, bool silent, const std::wstring& caption) {
  const PayloadState state = CheckEmbeddedPayload(module);
  if (PayloadUsable(state)) return true;
  ReportDamagedPayload(state, silent, caption, nullptr);
  return false;
}
