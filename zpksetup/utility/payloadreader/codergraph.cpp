#include "codergraph.h"

namespace archive7z {

bool IsStreamedCoder(const CSzCoderInfo& coder) {
  return coder.NumStreams == 1 &&
         (coder.MethodID == kMethodCopy || coder.MethodID == kMethodLzma || coder.MethodID == kMethodLzma2);
}

bool IsSingleCoder(const CSzFolder& f) {
  if (f.NumCoders != 1 || f.NumPackStreams != 1 || f.NumBonds != 0) return false;
  return f.PackStreams[0] == 0 && IsStreamedCoder(f.Coders[0]);
}

bool IsCoderUnderBcj(const CSzFolder& f) {
  if (f.NumCoders != 2 || f.NumPackStreams != 1 || f.NumBonds != 1) return false;
  const CSzCoderInfo& bcj = f.Coders[1];
  // A start offset in the properties would shift every converted address: not streamed.
  if (bcj.MethodID != kMethodBcj || bcj.NumStreams != 1 || bcj.PropsSize != 0) return false;
  const bool packedIntoCoder = f.PackStreams[0] == 0;
  const bool coderIntoBcj = f.Bonds[0].OutIndex == 0 && f.Bonds[0].InIndex == 1;  // BCJ's input is in-stream 1
  return packedIntoCoder && coderIntoBcj && IsStreamedCoder(f.Coders[0]);
}

bool IsBcj2Graph(const CSzFolder& f) {
  if (f.NumCoders != 4 || f.NumPackStreams != 4 || f.NumBonds != 3) return false;
  const CSzCoderInfo& bcj2 = f.Coders[kBcj2Coder];
  if (bcj2.MethodID != kMethodBcj2 || bcj2.NumStreams != BCJ2_NUM_STREAMS) return false;
  for (unsigned coder = 0; coder < kBcj2Coder; ++coder) {
    const Bcj2Feed& feed = kBcj2Feeds[coder];
    // One input each, so the coder's input is in-stream `coder`.
    if (!IsStreamedCoder(f.Coders[coder]) || f.PackStreams[feed.packed] != coder) return false;
    const CSzBond& bond = f.Bonds[coder];
    if (bond.OutIndex != coder || bond.InIndex != kBcj2FirstInput + feed.bcj2Input) return false;
  }
  return f.PackStreams[kBcj2RangeCoderPacked] == kBcj2FirstInput + BCJ2_STREAM_RC;
}

FolderShape ShapeOf(const CSzFolder& f) {
  if (IsSingleCoder(f)) return FolderShape::kSingle;
  if (IsCoderUnderBcj(f)) return FolderShape::kBcj;
  if (IsBcj2Graph(f)) return FolderShape::kBcj2;
  return FolderShape::kWhole;
}

FolderShape ReadFolderShape(const CSzAr& ar, UInt32 folder, CSzFolder& f) {
  f = CSzFolder();
  const Byte* data = ar.CodersData + ar.FoCodersOffsets[folder];
  CSzData sd{data, ar.FoCodersOffsets[folder + 1] - ar.FoCodersOffsets[folder]};
  if (SzGetNextFolderItem(&f, &sd) != SZ_OK || sd.Size != 0 || f.UnpackStream != ar.FoToMainUnpackSizeIndex[folder]) {
    f = CSzFolder();
    return FolderShape::kWhole;
  }
  return ShapeOf(f);
}

}  // namespace archive7z
