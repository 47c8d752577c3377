// The payload: the product folder counted, then packed by pack-payload.sh (7z, first two
// bytes exchanged) while a progress line shows how far the archive has grown.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zpkpack {

struct TreeCount {
  uint64_t files = 0;
  uint64_t bytes = 0;
};

// Counts the regular files under `dir` and their bytes; `progress` is called now and then.
bool CountTree(const std::string& dir, TreeCount& count, const std::function<void(const TreeCount&)>& progress,
               std::string& error);

// Runs `script DIR OUT [EXTRA...]` (EXTRA: absolute paths of files packed at the archive's
// top level); `progress(bytesPacked)` is called about five times a second while it runs.
// The script's own output goes to this program's standard error.
bool RunPackScript(const std::string& script, const std::string& dir, const std::string& out,
                   const std::vector<std::string>& extra, const std::function<void(uint64_t packed)>& progress,
                   std::string& error);

}  // namespace zpkpack
