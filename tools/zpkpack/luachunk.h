// Lua 5.2 sources compiled to standard chunks for a Windows target. The chunk format
// records the compiler's sizeof(size_t) and stores every string length with that width;
// the installer's 32-bit build loads only 4-byte lengths, so a chunk made by this 64-bit
// program is rewritten field by field for it.
#pragma once
#include <string>
#include <vector>

namespace zpkpack {

struct ChunkResult {
  bool ok = false;
  std::string chunk;  // the chunk when ok
  std::string error;  // Lua's message otherwise ("name:line: ...")
};

// Compiles `source` as luac would compile a file named `name` (debug information kept,
// chunk name "@name", a leading "#" line and UTF-8 byte-order mark skipped) into a chunk
// whose size_t fields are `sizeT` bytes wide (4 for i686, 8 for x86_64).
ChunkResult CompileLuaChunk(const std::string& source, const std::string& name, unsigned sizeT);

// One source file of a script: its text and the file name its chunk is named after.
struct ScriptSource {
  std::string text, name;
};

// Compiles several sources into one chunk as `luac a.lua b.lua` does: running it runs each
// source's code in turn, in one environment (a local of one source is not seen by the
// next). One source gives the same chunk as CompileLuaChunk.
ChunkResult CompileLuaChunks(const std::vector<ScriptSource>& sources, unsigned sizeT);

// Rewrites a standard little-endian Lua 5.2 chunk with another size_t width.
ChunkResult ResizeChunk(const std::string& chunk, unsigned sizeT);

}  // namespace zpkpack
