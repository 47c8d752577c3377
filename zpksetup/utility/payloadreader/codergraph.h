// The shapes a folder (solid block) of a 7z archive can have: which coders it chains, which
// packed stream feeds which coder, and which bond carries a coder's output into the next.
// Only the shapes 7-Zip writes for LZMA/LZMA2 are named, since only they are decoded as
// streams; everything else is left to the library's whole-block decoder. Recognises
// shapes only: decoding them is foldercoders' and streamdecoders'. Portable.
#pragma once
#include <7z/7z.h>
#include <7z/Bcj2.h>

namespace archive7z {

constexpr UInt32 kMethodCopy = 0, kMethodLzma2 = 0x21, kMethodLzma = 0x30101;
constexpr UInt32 kMethodBcj = 0x3030103, kMethodBcj2 = 0x303011B, kMethodPpmd = 0x30401;

enum class FolderShape {
  kWhole,   // anything else: decoded whole by the library (which reports what it lacks)
  kSingle,  // one streamed coder reading the folder's one packed stream
  kBcj,     // a streamed coder whose output feeds the x86 BCJ filter
  kBcj2,    // three streamed coders and a range-coded stream feeding BCJ2, as 7-Zip writes it
};

// The BCJ2 graph as 7-Zip writes it (the one the library accepts). Coders 0, 1 and 2 have
// one input each, so their inputs are the folder's in-streams 0, 1 and 2; coder 3 is BCJ2,
// whose four inputs follow as in-streams 3 to 6 in BCJ2's order (main, call, jump, range
// coder). Bond i carries coder i's output into BCJ2; the range coder's stream is a packed
// stream of its own that no coder decodes.
constexpr unsigned kBcj2Coder = 3;
constexpr unsigned kBcj2FirstInput = 3;
constexpr unsigned kBcj2RangeCoderPacked = 1;

struct Bcj2Feed {
  unsigned bcj2Input;  // BCJ2_STREAM_MAIN, _CALL or _JUMP: what the coder's output is
  unsigned packed;     // the packed stream the coder reads
};

// By coder: coder 0 decodes the jump stream from packed stream 3, coder 1 the call stream
// from packed stream 2, coder 2 the main stream from packed stream 0.
constexpr Bcj2Feed kBcj2Feeds[3] = {{BCJ2_STREAM_JUMP, 3}, {BCJ2_STREAM_CALL, 2}, {BCJ2_STREAM_MAIN, 0}};

// A coder the streams decode: copy, LZMA or LZMA2, one input.
bool IsStreamedCoder(const CSzCoderInfo& coder);

// packed 0 -> streamed coder 0 -> output.
bool IsSingleCoder(const CSzFolder& f);
// packed 0 -> streamed coder 0 -> bond 0 -> x86 BCJ (coder 1, no properties) -> output.
bool IsCoderUnderBcj(const CSzFolder& f);
// packed 0 -> coder 2 (main), packed 2 -> coder 1 (call), packed 3 -> coder 0 (jump), each
// bonded into BCJ2 (coder 3) at its input, packed 1 -> BCJ2's range coder -> output.
bool IsBcj2Graph(const CSzFolder& f);

// The shape of a folder's coder graph; kWhole unless one predicate above holds.
FolderShape ShapeOf(const CSzFolder& f);

// Reads folder `folder`'s coder graph from the archive into `f` and names its shape;
// kWhole with `f` empty when the description is damaged or its final output is not the
// stream the archive sizes as the folder's.
FolderShape ReadFolderShape(const CSzAr& ar, UInt32 folder, CSzFolder& f);

}  // namespace archive7z
