#include "options.h"

#include <map>

namespace zpkpack {

const char kUsage[] =
    "usage: zpkpack --product DIR --config FILE -o FILE [options]\n"
    "       zpkpack init DIR\n"
    "Makes an installer executable from a product folder and its configuration script;\n"
    "init writes a starter configuration, DIR/config.lua, with the five values to fill in.\n"
    "  --product DIR            the files to install (the payload)\n"
    "  --config FILE            configuration script (Lua source, global assignments)\n"
    "  -o FILE                  the installer to write\n"
    "  --install-script FILE    install script source; give it again for each further\n"
    "                           source, which run in turn as one chunk (default: the\n"
    "                           shipped ones, scriptbase.lua installsteps.lua instscript.lua)\n"
    "  --uninstall-script FILE  uninstall script source, likewise (default: the shipped\n"
    "                           scriptbase.lua uninstscript.lua)\n"
    "  --skin DIR               skin folder (default: the shipped skin, which shows the\n"
    "                           configured product's name); the program icon is added to\n"
    "                           it as Image/ProgramIcon.ico\n"
    "  --own-runtime            use the product folder's own Uninstall.exe, rmstat.dll or\n"
    "                           func_helper.dll instead of the engine's (zpkpack adds the\n"
    "                           engine's to every payload and refuses a different copy)\n"
    "  --icon FILE              program icon (.ico; default: the shipped neutral one)\n"
    "  --version X.Y.Z.W        product version: replaces global_version and goes into\n"
    "                           the version resource\n"
    "  --arch i686|x86_64       installer program's architecture (default i686)\n"
    "  --sign-cert FILE         sign with Authenticode: certificate (PEM) ...\n"
    "  --sign-key FILE          ... and its private key (PEM)\n"
    "  --sign-pass-file FILE    file holding the key's password\n"
    "  --timestamp-url URL      time-stamp the signature with this RFC 3161 service\n"
    "  --no-timestamp           sign without a time stamp (tests; the signing time is\n"
    "                           SOURCE_DATE_EPOCH when set)\n"
    "  --data-dir DIR           stubs, default scripts and skin (default: ../share/zpksetup\n"
    "                           beside this program)\n";

bool ParseOptions(const std::vector<std::string>& args, Options& o, std::string& error) {
  const std::map<std::string, std::string*> valued = {
      {"--product", &o.product},         {"--config", &o.config},
      {"--skin", &o.skin},               {"--icon", &o.icon},
      {"--version", &o.version},         {"--arch", &o.arch},
      {"-o", &o.output},                 {"--output", &o.output},
      {"--sign-cert", &o.signCert},      {"--sign-key", &o.signKey},
      {"--sign-pass-file", &o.signPassFile}, {"--timestamp-url", &o.timestampUrl},
      {"--data-dir", &o.dataDir}};
  const std::map<std::string, std::vector<std::string>*> repeatable = {
      {"--install-script", &o.installScripts}, {"--uninstall-script", &o.uninstallScripts}};
  bool versionGiven = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string a = args[i], value;
    bool inlineValue = false;
    size_t eq = a.find('=');
    if (a.compare(0, 2, "--") == 0 && eq != std::string::npos) {
      value = a.substr(eq + 1);
      a = a.substr(0, eq);
      inlineValue = true;
    }
    if (a == "-h" || a == "--help") {
      o.help = true;
      return true;
    }
    if (a == "--no-timestamp") {
      o.noTimestamp = true;
      continue;
    }
    if (a == "--own-runtime") {
      o.ownRuntime = true;
      continue;
    }
    auto it = valued.find(a);
    auto list = repeatable.find(a);
    if (it == valued.end() && list == repeatable.end()) {
      error = "unknown option " + args[i];
      return false;
    }
    if (!inlineValue) {
      if (i + 1 >= args.size()) {
        error = a + " needs a value";
        return false;
      }
      value = args[++i];
    }
    if (a == "--version") versionGiven = true;
    if (list != repeatable.end()) {
      list->second->push_back(value);
    } else {
      *it->second = value;
    }
  }
  if (o.product.empty() || o.config.empty() || o.output.empty()) {
    error = "--product, --config and -o are required";
    return false;
  }
  if (versionGiven && o.version.empty()) {
    error = "bad version string \"\": expected four dot-separated decimal numbers X.Y.Z.W";
    return false;
  }
  if (o.arch != "i686" && o.arch != "x86_64") {
    error = "--arch must be i686 or x86_64, not " + o.arch;
    return false;
  }
  if (o.signCert.empty() != o.signKey.empty()) {
    error = "--sign-cert and --sign-key go together";
    return false;
  }
  if (!o.signCert.empty() && o.timestampUrl.empty() && !o.noTimestamp) {
    error = "a signature needs --timestamp-url URL, or --no-timestamp";
    return false;
  }
  if (!o.timestampUrl.empty() && o.noTimestamp) {
    error = "--timestamp-url and --no-timestamp exclude each other";
    return false;
  }
  return true;
}

const char kInitUsage[] =
    "usage: zpkpack init DIR [--data-dir DIR]\n"
    "Writes DIR/config.lua, a commented starter configuration: fill in its five values\n"
    "(product name, inner name, main program, company, version) and pack with\n"
    "  zpkpack --product PRODUCT --config DIR/config.lua -o Setup.exe\n"
    "An existing DIR/config.lua is never overwritten.\n";

bool ParseInitOptions(const std::vector<std::string>& args, InitOptions& o, std::string& error) {
  if (args.empty() || args[0] != "init") return false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-h" || a == "--help") {
      o.help = true;
    } else if (a == "--data-dir" && i + 1 < args.size()) {
      o.dataDir = args[++i];
    } else if (a.compare(0, 11, "--data-dir=") == 0) {
      o.dataDir = a.substr(11);
    } else if (!a.empty() && a[0] == '-') {
      error = "unknown option " + a + " for init";
    } else if (o.dir.empty()) {
      o.dir = a;
    } else {
      error = "init takes one folder, not " + a;
    }
    if (!error.empty()) return true;
  }
  if (o.dir.empty() && !o.help) error = "init needs a folder: zpkpack init DIR";
  return true;
}

}  // namespace zpkpack
