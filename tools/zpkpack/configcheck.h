// Checks a configuration script before it goes into an installer: it must compile, run as
// plain assignments, and set the five globals that everything else is derived from; every
// other global the installer and its default scripts read is checked for its type when
// set. Values that the packager itself needs are returned, with the product files the
// configuration names.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zpkpack {

// A file of the product folder that the configuration names, as the installation
// directory will hold it (backslashes between folders).
struct NamedFile {
  std::string global;  // the global that names it, with "[i]" for a list's element
  std::string path;
};

struct ConfigValues {
  std::string version;          // global_version
  std::string productName;      // global_product_name
  std::string companyName;      // global_company_name
  std::string copyright;        // global_legalcopyright (may be empty)
  std::string mainAppName;      // global_main_app_name
  std::vector<NamedFile> files; // every product file named, the main program first
};

struct ConfigCheck {
  bool ok = false;
  std::vector<std::string> errors;  // one line per problem, each naming its global
  ConfigValues values;
};

// Runs `source` (a file named `name`, for messages) in a bare Lua state with the base,
// string, table and math libraries and a step limit, then checks its globals.
ConfigCheck CheckConfig(const std::string& source, const std::string& name);

// "X.Y.Z.W": four decimal fields. The install script encodes the version as the DWORD
// ((X*100+Y)*100+Z)*10000+W, so Y and Z must stay below 100, W below 10000 and the whole
// below 2^32; each field must also fit the 16 bits of the version resource.
bool ParseVersion(const std::string& text, std::array<uint16_t, 4>& fields, std::string& why);

}  // namespace zpkpack
