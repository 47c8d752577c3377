#include "foldercoders.h"

#include "codergraph.h"
#include "folderpipe.h"

namespace archive7z {

namespace {

// The coder `index` of a folder reading the packed stream `pack`, as a stream; null
// when the method is not one the streams handle.
std::unique_ptr<InStream> MainCoder(const CSzFolder& f, const Byte* props, unsigned index, const UInt64* unpackSizes,
                                    std::unique_ptr<PackStream> packed, SRes& res) {
  const CSzCoderInfo& c = f.Coders[index];
  if (c.NumStreams != 1) return nullptr;
  if (c.MethodID == kMethodCopy) {
    if (packed->size() != unpackSizes[index]) res = SZ_ERROR_DATA;
    return packed;
  }
  if (c.MethodID != kMethodLzma && c.MethodID != kMethodLzma2) return nullptr;
  std::unique_ptr<LzmaStream> s(new LzmaStream(std::move(packed), unpackSizes[index], c.MethodID == kMethodLzma2));
  res = s->Init(props + c.PropsOffset, c.PropsSize);
  return std::unique_ptr<InStream>(std::move(s));
}

UInt32 ReadUInt32(const Byte* p) {
  return p[0] | static_cast<UInt32>(p[1]) << 8 | static_cast<UInt32>(p[2]) << 16 | static_cast<UInt32>(p[3]) << 24;
}

// What one streamed coder holds: its dictionary (never more than its output), its
// probabilities and its input buffer.
UInt64 CoderMemory(const CSzCoderInfo& c, const Byte* props, UInt64 unpackSize) {
  UInt64 dic = 0, probs = 0;
  if (c.MethodID == kMethodLzma && c.PropsSize >= 5) {
    dic = ReadUInt32(props + 1);
    const unsigned d = props[0] % (9 * 5 * 5), lc = d % 9, lp = (d / 9) % 5;
    probs = (1846 + (UInt64{0x300} << (lc + lp))) * sizeof(CLzmaProb);
  } else if (c.MethodID == kMethodLzma2 && c.PropsSize == 1) {
    const unsigned p = props[0] < 40 ? props[0] : 40;
    dic = p == 40 ? 0xFFFFFFFFu : UInt64{2u | (p & 1u)} << (p / 2 + 11);
    probs = (1846 + (UInt64{0x300} << 4)) * sizeof(CLzmaProb);
  } else {
    return kInBuffer;
  }
  return (dic < unpackSize ? dic : unpackSize) + probs + kInBuffer;
}

}  // namespace

std::unique_ptr<InStream> FolderStream(const CSzArEx& db, UInt32 folder, SharedSource& source, SRes& res) {
  res = SZ_OK;
  const CSzAr& ar = db.db;
  const Byte* data = ar.CodersData + ar.FoCodersOffsets[folder];
  CSzFolder f;
  const FolderShape shape = ReadFolderShape(ar, folder, f);
  if (shape == FolderShape::kWhole) return std::unique_ptr<InStream>(new WholeFolderStream(db, folder, source));
  const UInt64* sizes = ar.CoderUnpackSizes + ar.FoToCoderUnpackSizes[folder];
  const UInt64* packPos = ar.PackPositions + ar.FoStartPackStreamIndex[folder];
  auto pack = [&](unsigned i) {
    return std::unique_ptr<PackStream>(new PackStream(source, db.dataPos + packPos[i], packPos[i + 1] - packPos[i]));
  };
  if (shape == FolderShape::kSingle) return MainCoder(f, data, 0, sizes, pack(0), res);
  if (shape == FolderShape::kBcj)
    return std::unique_ptr<InStream>(new BcjStream(MainCoder(f, data, 0, sizes, pack(0), res)));
  std::unique_ptr<InStream> streams[BCJ2_NUM_STREAMS];
  for (unsigned ci = 0; ci < kBcj2Coder; ++ci) {
    const Bcj2Feed& feed = kBcj2Feeds[ci];
    SRes coderRes = SZ_OK;
    std::unique_ptr<InStream> s = MainCoder(f, data, ci, sizes, pack(feed.packed), coderRes);
    if (coderRes != SZ_OK && res == SZ_OK) res = coderRes;
    // The main stream decodes on a thread of its own, beside the merge.
    if (feed.bcj2Input == BCJ2_STREAM_MAIN && res == SZ_OK) s.reset(new ThreadedStream(std::move(s), sizes[ci]));
    streams[feed.bcj2Input] = std::move(s);
  }
  streams[BCJ2_STREAM_RC] = pack(kBcj2RangeCoderPacked);
  // The coders' outputs add up to BCJ2's; the jump and call streams hold 32-bit words.
  if (sizes[0] + sizes[1] + sizes[2] != sizes[3] || (sizes[0] & 3) || (sizes[1] & 3)) res = SZ_ERROR_DATA;
  return std::unique_ptr<InStream>(new Bcj2Stream(streams, sizes[kBcj2Coder]));
}

UInt64 FolderMemory(const CSzArEx& db, UInt32 folder) {
  const CSzAr& ar = db.db;
  const Byte* data = ar.CodersData + ar.FoCodersOffsets[folder];
  const UInt64* sizes = ar.CoderUnpackSizes + ar.FoToCoderUnpackSizes[folder];
  UInt64 total = kChunks * kChunk;  // the pieces between the folder's decoder and the writer
  CSzFolder f;
  switch (ReadFolderShape(ar, folder, f)) {
    case FolderShape::kSingle:
      return total + CoderMemory(f.Coders[0], data + f.Coders[0].PropsOffset, sizes[0]);
    case FolderShape::kBcj:
      return total + CoderMemory(f.Coders[0], data + f.Coders[0].PropsOffset, sizes[0]) + kInBuffer;
    case FolderShape::kBcj2:
      total += kChunks * kChunk + BCJ2_NUM_STREAMS * kInBuffer;  // the main stream's thread, the merge's inputs
      for (unsigned i = 0; i < kBcj2Coder; ++i)
        total += CoderMemory(f.Coders[i], data + f.Coders[i].PropsOffset, sizes[i]);
      return total;
    case FolderShape::kWhole:
      break;
  }
  // The library decodes into one buffer of the block's size, with buffers of their own
  // for the inner coders' outputs and PPMd's model.
  total += SzAr_GetFolderUnpackSize(&ar, folder) + kLookAhead;
  for (UInt32 i = 0; i < f.NumCoders && i < SZ_NUM_CODERS_IN_FOLDER_MAX; ++i) {
    if (i != f.UnpackStream) total += sizes[i];
    if (f.Coders[i].MethodID == kMethodPpmd && f.Coders[i].PropsSize >= 5)
      total += ReadUInt32(data + f.Coders[i].PropsOffset + 1);
  }
  return total;
}

}  // namespace archive7z
