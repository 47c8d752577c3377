#include "archive7z.h"

#include <7z/7z.h>
#include <7z/7zCrc.h>

#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <vector>

#include "blockscheduler.h"
#include "streamdecoders.h"

namespace archive7z {

namespace {

// ---- memory source --------------------------------------------------------------

SRes MemoryRead(ISeekInStreamPtr p, void* buf, size_t* size) {
  MemorySource* s = const_cast<MemorySource*>(reinterpret_cast<const MemorySource*>(p));
  uint64_t left = s->pos < s->size ? s->size - s->pos : 0;
  size_t n = *size < left ? *size : static_cast<size_t>(left);
  if (n > 0) {
    std::memcpy(buf, s->data + s->pos, n);
    if (s->exchangeHead) {
      uint8_t* out = static_cast<uint8_t*>(buf);
      for (uint64_t i = s->pos; i < 2 && i < s->pos + n; ++i) out[i - s->pos] = s->data[1 - i];
    }
  }
  s->pos += n;
  *size = n;
  return SZ_OK;
}

SRes MemorySeek(ISeekInStreamPtr p, Int64* pos, ESzSeek origin) {
  MemorySource* s = const_cast<MemorySource*>(reinterpret_cast<const MemorySource*>(p));
  switch (origin) {
    case SZ_SEEK_SET:
      if (*pos < 0) return kInvalidOrigin;
      s->pos = static_cast<uint64_t>(*pos);
      return SZ_OK;
    case SZ_SEEK_CUR:
      if (*pos < 0 && static_cast<uint64_t>(-*pos) > s->pos) return kInvalidOrigin;
      s->pos += *pos;
      *pos = static_cast<Int64>(s->pos);
      return SZ_OK;
    case SZ_SEEK_END:
      s->pos = s->size;
      *pos = static_cast<Int64>(s->size);
      return SZ_OK;
  }
  return kInvalidOrigin;
}

// ---- a range of another stream ------------------------------------------------------

SRes SeekBase(ISeekInStreamPtr base, uint64_t at) {
  Int64 pos = static_cast<Int64>(at);
  return ISeekInStream_Seek(base, &pos, SZ_SEEK_SET);
}

SRes RangeRead(ISeekInStreamPtr p, void* buf, size_t* size) {
  RangeSource* s = const_cast<RangeSource*>(reinterpret_cast<const RangeSource*>(p));
  const uint64_t left = s->pos < s->size ? s->size - s->pos : 0;
  size_t n = *size < left ? *size : static_cast<size_t>(left);
  *size = 0;
  if (n == 0) return SZ_OK;
  RINOK(SeekBase(s->base, s->offset + s->pos))
  RINOK(ISeekInStream_Read(s->base, buf, &n))
  uint8_t* out = static_cast<uint8_t*>(buf);
  for (uint64_t i = s->pos; i < 2 && i < s->pos + n; ++i) out[i - s->pos] = s->head[i];
  s->pos += n;
  *size = n;
  return SZ_OK;
}

SRes RangeSeek(ISeekInStreamPtr p, Int64* pos, ESzSeek origin) {
  RangeSource* s = const_cast<RangeSource*>(reinterpret_cast<const RangeSource*>(p));
  MemorySource view{};  // the same seek rules as the memory source, on the range's size
  view.size = s->size;
  view.pos = s->pos;
  const SRes res = MemorySeek(&view.vt, pos, origin);
  s->pos = view.pos;
  return res;
}

// ---- entry names ----------------------------------------------------------------

bool IsSeparator(char16_t c) { return c == u'/' || c == u'\\'; }

char16_t Upper(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

bool IsDeviceName(const std::u16string& component) {
  // The device part is the name before the first dot, trailing spaces ignored.
  size_t end = component.find(u'.');
  if (end == std::u16string::npos) end = component.size();
  while (end > 0 && component[end - 1] == u' ') --end;
  std::u16string base;
  for (size_t i = 0; i < end; ++i) base += Upper(component[i]);
  static const char16_t* const kPlain[] = {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$", u"CLOCK$"};
  for (const char16_t* d : kPlain)
    if (base == d) return true;
  if (base.size() == 4 && (base.compare(0, 3, u"COM") == 0 || base.compare(0, 3, u"LPT") == 0)) {
    char16_t n = base[3];
    return (n >= u'0' && n <= u'9') || n == u'\u00b9' || n == u'\u00b2' || n == u'\u00b3';
  }
  return false;
}

bool IsDotsAndSpaces(const std::u16string& component) {
  for (char16_t c : component)
    if (c != u'.' && c != u' ') return false;
  return true;
}

std::u16string Normalized(const std::u16string& name) {
  std::u16string out = name;
  for (char16_t& c : out)
    if (c == u'\\') c = u'/';
  return out;
}

// ---- library plumbing -----------------------------------------------------------

void EnsureCrcTable() {
  static std::once_flag once;
  std::call_once(once, [] { CrcGenerateTable(); });
}

// Everything the library allocated for one archive, released on every path.
struct OpenArchive {
  CSzArEx db;
  CLookToRead2 look;
  std::vector<Byte> lookBuffer;

  OpenArchive() { SzArEx_Init(&db); }
  ~OpenArchive() { SzArEx_Free(&db, &kHeap); }

  int Open(ISeekInStreamPtr source) {
    InitLookReader(look, lookBuffer, source);
    return SzArEx_Open(&db, &look.vt, &kHeap, &kHeap);
  }

  // The name of entry i ('/'-separated as stored), into `name`.
  void Name(UInt32 i, std::u16string& name) {
    size_t units = SzArEx_GetFileNameUtf16(&db, i, nullptr);
    std::vector<UInt16> buf(units ? units : 1);
    SzArEx_GetFileNameUtf16(&db, i, buf.data());
    name.assign(buf.begin(), buf.begin() + (units ? units - 1 : 0));
  }
};

int ExtractEntries(OpenArchive& arc, EntrySink& sink, ISeekInStreamPtr source, const ExtractOptions& options) {
  const CSzArEx& db = arc.db;
  // Every name first: a hostile archive is refused before anything is written.
  std::vector<std::u16string> names(db.NumFiles);
  for (UInt32 i = 0; i < db.NumFiles; ++i) {
    arc.Name(i, names[i]);
    if (!IsSafeEntryName(names[i])) {
      sink.RejectName(names[i]);
      return kUnsafeName;
    }
    names[i] = Normalized(names[i]);
  }
  SharedSource shared(source);  // from here on several decoder threads read the source
  return WriteEntries(db, names, shared, sink, options);
}

}  // namespace

void InitMemorySource(MemorySource& source, const void* data, uint32_t size, bool exchangeHead) {
  source.vt.Read = MemoryRead;
  source.vt.Seek = MemorySeek;
  source.data = static_cast<const uint8_t*>(data);
  source.size = data ? size : 0;
  source.pos = 0;
  source.exchangeHead = exchangeHead && source.size >= 2;
}

int InitRangeSource(RangeSource& source, ISeekInStreamPtr base, uint64_t offset, uint64_t size, bool exchangeHead) {
  source.vt.Read = RangeRead;
  source.vt.Seek = RangeSeek;
  source.base = base;
  source.offset = offset;
  source.size = size;
  source.pos = 0;
  source.exchangeHead = exchangeHead && size >= 2;
  source.head[0] = source.head[1] = 0;
  if (size == 0) return SZ_OK;
  const size_t want = size < 2 ? 1 : 2;
  uint8_t first[2] = {0, 0};
  RINOK(SeekBase(base, offset))
  for (size_t got = 0; got < want;) {
    size_t n = want - got;
    RINOK(ISeekInStream_Read(base, first + got, &n))
    if (n == 0) return SZ_ERROR_READ;
    got += n;
  }
  source.head[0] = source.exchangeHead ? first[1] : first[0];
  source.head[1] = source.exchangeHead ? first[0] : first[1];
  return SZ_OK;
}

bool IsSafeEntryName(const std::u16string& name) {
  if (name.empty() || IsSeparator(name[0])) return false;
  if (name.find(u':') != std::u16string::npos) return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = start;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    std::u16string component = name.substr(start, end - start);
    if (!component.empty() && (IsDotsAndSpaces(component) || IsDeviceName(component))) return false;
    for (char16_t c : component)
      if (c < 0x20) return false;
    start = end + 1;
  }
  return true;
}

uint32_t SettableAttributes(uint32_t archived) {
  constexpr uint32_t kUnixExtension = 0x8000;
  // read-only, hidden, system, archive, normal, temporary, offline, not indexed
  constexpr uint32_t kSettable = 0x1 | 0x2 | 0x4 | 0x20 | 0x80 | 0x100 | 0x1000 | 0x2000;
  if (archived & kUnixExtension) archived &= 0x7FFF;
  uint32_t attributes = archived & kSettable;
  return attributes ? attributes : 0x80;  // FILE_ATTRIBUTE_NORMAL
}

int Extract(ISeekInStreamPtr source, EntrySink& sink, const ExtractOptions& options) {
  EnsureCrcTable();
  try {
    OpenArchive arc;
    int res = arc.Open(source);
    if (res != SZ_OK) return res;
    return ExtractEntries(arc, sink, source, options);
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  } catch (const std::system_error&) {
    return kNoMemory;  // a decoder thread could not be started: the system lacks resources
  }
}

}  // namespace archive7z
