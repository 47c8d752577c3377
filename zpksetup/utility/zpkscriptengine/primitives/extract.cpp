#include "extract.h"

#include <windows.h>

#include <7z/7zFile.h>

#include "archive7z.h"
#include "extractdisk.h"
#include "handles.h"
#include "log/debugoutput.h"
#include "log/qvbaselog.h"
#include "pathlinks.h"
#include "resource/moduleresource.h"
#include "resource/resourcefile.h"
#include "scriptargs.h"
#include "scriptcallback.h"

namespace {

const wchar_t kUnCompress[] = L"Lua_UnCompress7z";
const wchar_t kExtractResource[] = L"Lua_ExtractResource";
const wchar_t kPayloadType[] = L"_7Z";

// A resource named by a string, or by a number (its low 16 bits).
struct ResourceName {
  std::wstring text;
  WORD id = 0;
  bool numeric = false;
  const wchar_t* get() const { return numeric ? MAKEINTRESOURCEW(id) : text.c_str(); }
};

ResourceName ReadResourceName(lua_State* L, int index) {
  ResourceName name;
  if (lua_isnumber(L, index)) {
    name.numeric = true;
    name.id = static_cast<WORD>(scriptargs::Integer(L, index) & 0xFFFF);
  } else {
    name.text = scriptargs::Text(L, index);
  }
  return name;
}

// One resource of the installer's own module, empty ones included (read-only: the loaded
// image is never written to).
bool LoadOwnResource(const wchar_t* type, const ResourceName& name, qvbase::ResourceBytes& out) {
  const qvbase::ResourceResult result = qvbase::ReadModuleResource(nullptr, name.get(), type, &out);
  return result == qvbase::ResourceResult::kOk || result == qvbase::ResourceResult::kEmpty;
}

void InitFileStream(CFileInStream& stream, HANDLE file) {
  FileInStream_CreateVTable(&stream);
  stream.file.handle = file;
  stream.wres = 0;
}

int UnCompressFile(const std::wstring& archive, const std::wstring& destination,
                   ScriptCallback& onFile, ScriptCallback& onError) {
  qd::Output(L"UnCompress %ls to %ls .\r\n", archive.c_str(), destination.c_str());
  UniqueFileHandle file(CreateFileW(archive.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    QD_ERROR_TRACE(L"CreateFileW failed!");
    return archive7z::kFail;
  }
  CFileInStream stream;
  InitFileStream(stream, file.get());
  return ExtractToDirectory(&stream.vt, destination, onFile, onError);
}

// The payload resource, read through a handle on the program's own file so that its pages
// of the mapped image are never touched (they would stay in the process's memory); the
// mapped bytes when the file cannot be read so. The stored signature has its first two
// bytes exchanged; either source undoes that as it reads, and the image stays as loaded.
int UnCompressPayload(const qvbase::ResourceBytes& payload, const std::wstring& destination,
                      ScriptCallback& onFile, ScriptCallback& onError) {
  archive7z::MemorySource memory;
  archive7z::InitMemorySource(memory, payload.data, payload.size, true);
  ISeekInStreamPtr source = &memory.vt;
  const char* from = "the mapped image";
  qvbase::ResourceFile own;
  CFileInStream stream;
  archive7z::RangeSource range;
  if (own.Open(nullptr, payload)) {
    InitFileStream(stream, own.handle());
    if (archive7z::InitRangeSource(range, &stream.vt, own.offset(), own.size(), true) == archive7z::kOk) {
      source = &range.vt;
      from = "the program's file";
    }
  }
  const ULONGLONG start = GetTickCount64();
  const int code = ExtractToDirectory(source, destination, onFile, onError);
  QVLOG_INFO("extraction: {} bytes read from {}, result {}, {} ms", static_cast<uint64_t>(payload.size), from, code,
             static_cast<uint64_t>(GetTickCount64() - start));
  return code;
}

bool WriteBytes(HANDLE file, const uint8_t* bytes, DWORD size) {
  DWORD written = 0;
  return WriteFile(file, bytes, size, &written, nullptr) && written == size;
}

}  // namespace

int Lua_UnCompress7z(lua_State* L) {
  const int count = lua_gettop(L);
  if (count < 2 || count > 5) {
    qd::Output(L"Fun:%ls, Description: %d arguments, 2 to 5 expected.\r\n", kUnCompress, count);
    return scriptargs::PushBoolean(L, false);
  }
  // Callbacks come from the end: a fifth argument that is not a function means none.
  ScriptCallback onFile, onError;
  if (count == 5) {
    if (onError.Take(L, 5)) onFile.Take(L, 4);
  } else if (count == 4) {
    onFile.Take(L, 4);
  }
  const bool fromFile = lua_isboolean(L, 3) && lua_toboolean(L, 3);
  std::wstring destination;
  if (!scriptargs::ExistingPath(L, 2, kUnCompress, destination))
    return scriptargs::PushBoolean(L, false);

  int code = archive7z::kFail;
  if (fromFile) {
    std::wstring archive;
    if (!scriptargs::ExistingPath(L, 1, kUnCompress, archive)) return scriptargs::PushBoolean(L, false);
    code = UnCompressFile(archive, destination, onFile, onError);
  } else {
    const ResourceName name = ReadResourceName(L, 1);
    qvbase::ResourceBytes payload;
    if (!LoadOwnResource(kPayloadType, name, payload)) {
      qd::Output(L"Fun:%ls ,LoadResource failed!\r\n", kUnCompress);
      return scriptargs::PushBoolean(L, false);
    }
    if (!name.numeric) qd::Output(L"UnCompress %ls to %ls .\r\n", name.text.c_str(), destination.c_str());
    code = UnCompressPayload(payload, destination, onFile, onError);
  }
  if (code != archive7z::kOk) {
    qd::Output(L"Fun:%ls, Description: UnCompress failed.!\r\n", kUnCompress);
    return scriptargs::PushBoolean(L, false);
  }
  qd::OutputText(L"UnCompress successful.\r\n");
  return scriptargs::PushBoolean(L, true);
}

int Lua_ExtractResource(lua_State* L) {
  std::wstring target;
  if (!scriptargs::Path(L, 3, target)) {
    scriptargs::ReportMissing(kExtractResource, scriptargs::Text(L, 3));
    return scriptargs::PushBoolean(L, false);
  }
  const std::wstring type = scriptargs::Text(L, 1);
  const ResourceName name = ReadResourceName(L, 2);
  qvbase::ResourceBytes res;
  if (!LoadOwnResource(type.c_str(), name, res)) {
    qd::Output(L"Fun:%ls ,LoadResource failed!\r\n", kExtractResource);
    return scriptargs::PushBoolean(L, false);
  }
  if (!WritableWithoutLinks(target, kExtractResource)) return scriptargs::PushBoolean(L, false);
  UniqueFileHandle file(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    qd::Output(L"Fun:%ls ,CreateFileW %ls failed!\r\n", kExtractResource, target.c_str());
    return scriptargs::PushBoolean(L, false);
  }
  bool written;
  if (type == kPayloadType && res.size >= 2) {
    // The file gets the archive's real signature; the loaded image is left alone.
    const uint8_t head[2] = {res.data[1], res.data[0]};
    written = WriteBytes(file.get(), head, 2) && WriteBytes(file.get(), res.data + 2, res.size - 2);
  } else {
    written = WriteBytes(file.get(), res.data, res.size);
  }
  if (!written) {
    qd::Output(L"Fun:%ls ,WriteFile %ls failed!\r\n", kExtractResource, target.c_str());
    return scriptargs::PushBoolean(L, false);
  }
  return scriptargs::PushBoolean(L, true);
}
