// zpkpack's command line.
#pragma once
#include <string>
#include <vector>

namespace zpkpack {

struct Options {
  std::string product, config, skin, icon, version, output;
  // Each script's sources in order, compiled into one chunk; empty: the shipped ones.
  std::vector<std::string> installScripts, uninstallScripts;
  std::string arch = "i686";
  std::string signCert, signKey, signPassFile, timestampUrl;
  bool noTimestamp = false;
  bool ownRuntime = false;  // the product folder's own copies of runtime files win
  std::string dataDir;  // stubs, default scripts and skin, manifest, pack-payload.sh
  bool help = false;
};

// Fills `o` from the arguments; false with `error` for an unknown option, a missing value
// or a missing required option.
bool ParseOptions(const std::vector<std::string>& args, Options& o, std::string& error);

extern const char kUsage[];

// `zpkpack init DIR`: the folder to write the starter configuration into.
struct InitOptions {
  std::string dir;
  std::string dataDir;
  bool help = false;
};

// True when `args` is the init command (its first word is "init"); `error` is set when its
// arguments are wrong.
bool ParseInitOptions(const std::vector<std::string>& args, InitOptions& o, std::string& error);

extern const char kInitUsage[];

}  // namespace zpkpack
