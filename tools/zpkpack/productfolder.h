// The product folder as the installer will see it: files found ignoring case as Windows
// does, the programs and files the configuration names, and the engine runtime every
// payload carries beside the product's own files.
#pragma once
#include <string>
#include <vector>

#include "configcheck.h"
#include "options.h"

namespace zpkpack {

// One file of the engine runtime (the uninstaller, the statistics library, the helper DLL
// the default scripts load), which every payload carries at its top.
struct RuntimeFile {
  std::string name;     // as the runtime folder holds it
  std::string path;     // the runtime's copy (absolute)
  bool added = false;   // packed from the runtime; false: the product's own copy is used
  std::string note;     // why not added
};

// A whole file's bytes; fails naming it as `what` ("install script") when it is a folder
// or cannot be read.
std::string ReadFile(const std::string& path, const char* what);

// The entry of folder `dir` named `name`, compared ignoring case; empty when there is none.
std::string FindEntry(const std::string& dir, const std::string& name);

// Fails unless `name` is a plain file name found in the product folder.
void CheckMainProgram(const std::string& product, const std::string& name);

// Fails, naming each, when a file the configuration names is not in the product folder.
void CheckNamedFiles(const std::string& product, const std::vector<NamedFile>& files);

// The runtime files for the target in `data`/runtime/<arch>, each with how it reaches the
// payload. A product file of the same name at the top of the product folder is refused
// when it differs from the runtime's (it would silently replace the engine's part), unless
// --own-runtime.
std::vector<RuntimeFile> ResolveRuntime(const Options& o, const std::string& data);

}  // namespace zpkpack
