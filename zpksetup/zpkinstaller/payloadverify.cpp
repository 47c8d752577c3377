#include "payloadverify.h"

#include <cstdint>

#include "log/debugoutput.h"
#include "log/qvbaselog.h"
#include "msgbox.h"
#include "payloadcheck.h"
#include "resource/moduleresource.h"
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

}  // namespace

PayloadState CheckEmbeddedPayload(HMODULE module) {
  const ULONGLONG start = GetTickCount64();
  DWORD payloadSize = 0, hashSize = 0;
  const uint8_t* payload = ResourceBytes(module, kPayloadName, &payloadSize);
  const uint8_t* hash = ResourceBytes(module, kHashName, &hashSize);
  const PayloadState state =
      CheckPayload(payload, payloadSize, reinterpret_cast<const char*>(hash), hash ? hashSize : 0, SystemSha256);
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
