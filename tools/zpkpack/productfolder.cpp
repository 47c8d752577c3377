#include "productfolder.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "failure.h"

namespace fs = std::filesystem;

namespace zpkpack {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The product file at `relative` (components separated by backslashes or slashes, found
// ignoring case as Windows would); empty when the product folder has no such file.
std::string FindProductFile(const std::string& product, const std::string& relative) {
  std::string at = product;
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = relative.find_first_of("\\/", start);
    if (end == std::string::npos) end = relative.size();
    at = FindEntry(at, relative.substr(start, end - start));
    if (at.empty()) return at;
    start = end + 1;
  }
  std::error_code ec;
  return fs::is_regular_file(at, ec) ? at : std::string();
}

bool HasProductFile(const std::string& product, const std::string& name) {
  return !FindProductFile(product, name).empty();
}

bool SameBytes(const std::string& a, const std::string& b) { return ReadFile(a, "file") == ReadFile(b, "file"); }

}  // namespace

std::string ReadFile(const std::string& path, const char* what) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) Fail(std::string(what) + " " + path + " is a folder, not a file");
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail(std::string("cannot read the ") + what + " " + path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}


std::string FindEntry(const std::string& dir, const std::string& name) {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec))
    if (Lower(e.path().filename().string()) == Lower(name)) return e.path().string();
  return std::string();
}

void CheckMainProgram(const std::string& product, const std::string& name) {
  if (name.find_first_of("/\\") != std::string::npos || name == "." || name == "..")
    Fail("global_main_app_name \"" + name + "\" must be a file name, not a path");
  if (!HasProductFile(product, name))
    Fail("the main program " + name + " (global_main_app_name) is not in the product folder " + product);
}

// Every other product file the configuration names (service, firewall, shell extensions,
// certificate): the scripts would act on a file the installation never has.
void CheckNamedFiles(const std::string& product, const std::vector<NamedFile>& files) {
  std::string missing;
  for (const NamedFile& f : files) {
    if (f.global == "global_main_app_name" || HasProductFile(product, f.path)) continue;
    missing += (missing.empty() ? "" : "\nzpkpack: ") + f.global + " names " + f.path +
               ", which is not in the product folder " + product;
  }
  if (!missing.empty()) Fail(missing);
}


// The runtime files for `arch`, each with how it reaches the payload. A product file of
// the same name at the top of the product folder is refused when it differs from the
// runtime's (it would silently replace the engine's part), unless --own-runtime.
std::vector<RuntimeFile> ResolveRuntime(const Options& o, const std::string& data) {
  const std::string dir = data + "/runtime/" + o.arch;
  std::vector<RuntimeFile> files;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec)) {
    if (!e.is_regular_file(ec)) continue;
    RuntimeFile f;
    f.name = e.path().filename().string();
    f.path = fs::absolute(e.path()).string();
    files.push_back(f);
  }
  if (files.empty())
    Fail("no engine runtime for " + o.arch + " in " + dir + " (./zpk build " + o.arch + " makes it)");
  std::sort(files.begin(), files.end(), [](const RuntimeFile& a, const RuntimeFile& b) { return a.name < b.name; });
  for (RuntimeFile& f : files) {
    const std::string own = FindEntry(o.product, f.name);
    if (own.empty()) {
      f.added = true;
      continue;
    }
    if (fs::is_regular_file(own, ec) && SameBytes(own, f.path)) {
      f.note = "the product's copy, identical";
    } else if (o.ownRuntime) {
      f.note = "the product's own copy (--own-runtime)";
    } else {
      Fail("the product folder holds its own " + fs::path(own).filename().string() + ", which differs from the "
           "engine's (zpkpack adds " + f.name + " to every payload): remove it, or give --own-runtime to ship "
           "the product's copy");
    }
  }
  return files;
}

}  // namespace zpkpack
