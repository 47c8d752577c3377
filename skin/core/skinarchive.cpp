#include "skinarchive.h"

#include <cstring>
#include <cwctype>

#include <minizip/unzip.h>

#include "markupvalues.h"

namespace skin {

namespace {

using Memory = CSkinArchive::Memory;

voidpf ZCALLBACK MemOpen(voidpf opaque, const char*, int) { return opaque; }

uLong ZCALLBACK MemRead(voidpf, voidpf stream, void* buf, uLong size) {
  auto* m = static_cast<Memory*>(stream);
  size_t left = m->bytes.size() - m->pos;
  size_t n = size < left ? size : left;
  std::memcpy(buf, m->bytes.data() + m->pos, n);
  m->pos += n;
  return static_cast<uLong>(n);
}

uLong ZCALLBACK MemWrite(voidpf, voidpf, const void*, uLong) { return 0; }

long ZCALLBACK MemTell(voidpf, voidpf stream) {
  return static_cast<long>(static_cast<Memory*>(stream)->pos);
}

long ZCALLBACK MemSeek(voidpf, voidpf stream, uLong offset, int origin) {
  auto* m = static_cast<Memory*>(stream);
  size_t base;
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET: base = 0; break;
    case ZLIB_FILEFUNC_SEEK_CUR: base = m->pos; break;
    case ZLIB_FILEFUNC_SEEK_END: base = m->bytes.size(); break;
    default: return -1;
  }
  if (base > m->bytes.size() || offset > m->bytes.size() - base) return -1;
  m->pos = base + offset;
  return 0;
}

int ZCALLBACK MemClose(voidpf, voidpf) { return 0; }
int ZCALLBACK MemError(voidpf, voidpf) { return 0; }

}  // namespace

CSkinArchive::~CSkinArchive() { Close(); }

void CSkinArchive::Close() {
  if (m_zip) unzClose(static_cast<unzFile>(m_zip));
  m_zip = nullptr;
  m_index.clear();
  m_names.clear();
  m_memory = Memory{};
}

std::wstring CSkinArchive::Key(const std::wstring& path) {
  std::wstring key;
  for (wchar_t c : path) key.push_back(c == L'\\' ? L'/' : static_cast<wchar_t>(std::towlower(c)));
  while (!key.empty() && key[0] == L'/') key.erase(0, 1);
  return key;
}

bool CSkinArchive::Open(const void* data, size_t size) {
  Close();
  if (!data || size == 0) return false;
  m_memory.bytes.assign(static_cast<const char*>(data), size);
  zlib_filefunc_def io{};
  io.zopen_file = MemOpen;
  io.zread_file = MemRead;
  io.zwrite_file = MemWrite;
  io.ztell_file = MemTell;
  io.zseek_file = MemSeek;
  io.zclose_file = MemClose;
  io.zerror_file = MemError;
  io.opaque = &m_memory;
  unzFile zip = unzOpen2("skin.zip", &io);
  if (!zip) {
    Close();
    return false;
  }
  m_zip = zip;
  for (int rc = unzGoToFirstFile(zip); rc == UNZ_OK; rc = unzGoToNextFile(zip)) {
    char name[1024];
    unz_file_info info{};
    if (unzGetCurrentFileInfo(zip, &info, name, sizeof(name), nullptr, 0, nullptr, 0) != UNZ_OK) break;
    unz_file_pos pos{};
    if (unzGetFilePos(zip, &pos) != UNZ_OK) break;
    std::wstring wide = FromUtf8(name);
    m_index[Key(wide)] = {pos.pos_in_zip_directory, pos.num_of_file, info.uncompressed_size};
    m_names[Key(wide)] = wide;
  }
  return true;
}

bool CSkinArchive::Exists(const std::wstring& path) const { return m_index.count(Key(path)) != 0; }

std::vector<std::wstring> CSkinArchive::Entries() const {
  std::vector<std::wstring> out;
  for (const auto& kv : m_names) out.push_back(kv.second);
  return out;
}

bool CSkinArchive::Read(const std::wstring& path, std::string* bytes) const {
  bytes->clear();
  auto it = m_index.find(Key(path));
  if (!m_zip || it == m_index.end()) return false;
  if (it->second.size > kMaxEntrySize) return false;
  unzFile zip = static_cast<unzFile>(m_zip);
  unz_file_pos pos{it->second.dirPos, it->second.fileNum};
  if (unzGoToFilePos(zip, &pos) != UNZ_OK) return false;
  if (unzOpenCurrentFile(zip) != UNZ_OK) return false;
  std::string out;
  char buf[16384];
  bool ok = true;
  for (;;) {
    int n = unzReadCurrentFile(zip, buf, sizeof(buf));
    if (n < 0) { ok = false; break; }
    if (n == 0) break;
    out.append(buf, static_cast<size_t>(n));
    if (out.size() > it->second.size || out.size() > kMaxEntrySize) { ok = false; break; }
  }
  // Closing checks the CRC once the whole entry has been read.
  if (unzCloseCurrentFile(zip) != UNZ_OK) ok = false;
  if (!ok || out.size() != it->second.size) return false;
  bytes->swap(out);
  return true;
}

}  // namespace skin
