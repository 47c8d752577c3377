// The extraction's writing side: the archive's entries handed to the sink, the blocks'
// files decoded several blocks at once. Internal to archive7z.cpp.
#pragma once
#include <string>
#include <vector>

#include "archive7z.h"
#include "streamdecoders.h"

namespace archive7z {

// Hands every entry of the opened archive `db` to `sink`; `names` are the entries'
// checked names ('/'-separated), by index. Entries without bytes (directories, empty
// files) come first, in archive order; then up to options.threads blocks are decoded at
// once, each on threads of its own, within options.memoryBudget, while this thread takes
// pieces from whichever block has bytes ready and writes them to that block's current
// file. Files of one block come in archive order; each is CRC-checked before it is
// committed. On any failure every file still open, in any block, is discarded.
int WriteEntries(const CSzArEx& db, const std::vector<std::u16string>& names, SharedSource& source, EntrySink& sink,
                 const ExtractOptions& options);

}  // namespace archive7z
