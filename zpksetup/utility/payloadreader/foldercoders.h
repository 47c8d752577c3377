// One folder (solid block) of a 7z archive as one pull stream, and the memory decoding it
// holds: the streams of streamdecoders chained as the folder's shape (codergraph) says,
// the library's whole-block decoder for any other shape. Neither decodes nor recognises
// shapes itself. Internal to the payload reader (archive7z.cpp, blockscheduler.cpp).
#pragma once
#include <7z/7z.h>

#include <memory>

#include "streamdecoders.h"

namespace archive7z {

// The folder's decoded bytes as a stream: LZMA and LZMA2, alone or under the x86 BCJ or
// BCJ2 filter (the shapes 7-Zip writes), decoded piece by piece over a dictionary and
// fixed buffers; any other shape or method through the library's whole-block decoder.
// `res` tells how setting the stream up went (a damaged coder description, no memory).
std::unique_ptr<InStream> FolderStream(const CSzArEx& db, UInt32 folder, SharedSource& source, SRes& res);

// The bytes FolderStream's decoding of the folder holds at once (dictionaries, buffers,
// the decoder thread's pieces; the whole block where the library decodes it), so that
// the blocks decoded side by side stay within one memory budget.
UInt64 FolderMemory(const CSzArEx& db, UInt32 folder);

}  // namespace archive7z
