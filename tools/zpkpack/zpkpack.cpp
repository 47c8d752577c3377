// zpkpack: makes an installer from a product folder, a configuration script and the
// prebuilt installer stub, natively on Linux (see README, "zpkpack").
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "configcheck.h"
#include "failure.h"
#include "luachunk.h"
#include "options.h"
#include "payload.h"
#include "peimage.h"
#include "productfolder.h"
#include "resources.h"
#include "../../zpksetup/zpkinstaller/sha256.h"  // the digest the installer checks
#include "signer.h"
#include "zipwriter.h"

namespace fs = std::filesystem;
using namespace zpkpack;

namespace {

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  out.close();
  if (!out) Fail("cannot write " + path);
}

std::string Mib(uint64_t bytes) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.1f MiB", bytes / 1048576.0);
  return buf;
}

// Progress goes to standard error: rewritten in place on a terminal, a line every few
// seconds in a CI log.
class Progress {
 public:
  Progress() : tty_(isatty(STDERR_FILENO)) {}
  void Show(const std::string& line, bool force = false) {
    time_t now = time(nullptr);
    if (tty_) {
      std::fprintf(stderr, "\r%-78s", line.c_str());
      open_ = true;
    } else if (force || now - last_ >= 5) {
      std::fprintf(stderr, "%s\n", line.c_str());
      last_ = now;
    }
  }
  void Done(const std::string& line) {
    Show(line, true);
    if (tty_) std::fputc('\n', stderr);
    open_ = false;
  }
  ~Progress() {
    if (open_) std::fputc('\n', stderr);
  }

 private:
  bool tty_;
  bool open_ = false;
  time_t last_ = 0;
};

// A working folder beside the output (same file system for the final rename), removed
// whatever happens.
class WorkDir {
 public:
  explicit WorkDir(const std::string& output) {
    std::string templ = (fs::path(output).parent_path() / ".zpkpack-XXXXXX").string();
    if (fs::path(output).parent_path().empty()) templ = ".zpkpack-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) Fail("cannot create a working folder beside " + output);
    path_ = buf.data();
  }
  ~WorkDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  std::string File(const char* name) const { return (fs::path(path_) / name).string(); }

 private:
  std::string path_;
};

std::string BaseName(const std::string& path) { return fs::path(path).filename().string(); }

// Lua's "name:line: message" with the path as given in place of the file's name.
std::string WithPath(const std::string& msg, const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    const std::string name = BaseName(path);
    if (msg.compare(0, name.size() + 1, name + ":") == 0) return path + msg.substr(name.size());
  }
  return msg;
}

// Compiles a script's sources, in order, into one chunk; `paths` name them in errors.
std::string CompileSources(const std::vector<ScriptSource>& sources, const std::vector<std::string>& paths,
                           unsigned sizeT) {
  ChunkResult r = CompileLuaChunks(sources, sizeT);
  if (!r.ok) Fail(WithPath(r.error, paths));
  return r.chunk;
}

std::string CompileScript(const std::vector<std::string>& paths, const char* what, unsigned sizeT) {
  std::vector<ScriptSource> sources;
  for (const std::string& path : paths) sources.push_back({ReadFile(path, what), BaseName(path)});
  return CompileSources(sources, paths, sizeT);
}

// The shipped script's sources, from the build's comma-separated list.
std::vector<std::string> ShippedScript(const std::string& data, const std::string& files) {
  std::vector<std::string> paths;
  std::stringstream list(files);
  for (std::string file; std::getline(list, file, ',');) paths.push_back(data + "/scripts/" + file);
  return paths;
}

std::array<uint16_t, 4> Version(const std::string& text) {
  std::array<uint16_t, 4> v{};
  std::string why;
  if (!ParseVersion(text, v, why)) Fail("bad version string \"" + text + "\": " + why);
  return v;
}

std::string DefaultDataDir() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return (self.parent_path().parent_path() / "share" / "zpksetup").string();
}

// The skin folder zipped, with the program icon as Image/ProgramIcon.ico (replacing a file
// of that name), so that any skin can show the installer's own icon.
std::string SkinArchive(const std::string& skin, const std::string& icon) {
  std::vector<ZipEntry> entries;
  std::string error;
  if (!ReadTree(skin, entries, error)) Fail("cannot read the skin: " + error);
  if (entries.empty()) Fail("cannot read the skin: " + skin + " holds no files");
  const std::string name = "Image/ProgramIcon.ico";
  entries.erase(std::remove_if(entries.begin(), entries.end(), [&](const ZipEntry& e) { return e.first == name; }),
                entries.end());
  entries.emplace_back(name, icon);
  return MakeZip(std::move(entries));
}

struct Inputs {
  std::string configChunk, installChunk, uninstallChunk, manifest, stub, skinZip;
  std::vector<Resource> icons;
  ConfigValues config;
  std::array<uint16_t, 4> version{};
  std::vector<RuntimeFile> runtime;
};

// Everything but the payload, checked before the slow part starts.
Inputs ReadInputs(const Options& o, const std::string& data) {
  Inputs in;
  const unsigned sizeT = o.arch == "i686" ? 4 : 8;
  if (!o.version.empty()) Version(o.version);
  std::error_code ec;
  if (!fs::is_directory(o.product, ec)) Fail("the product folder " + o.product + " does not exist");

  std::string config = ReadFile(o.config, "configuration script");
  // --version replaces the configuration's own value: the last assignment wins, and the
  // lines above keep their numbers.
  if (!o.version.empty()) config += "\nglobal_version = \"" + o.version + "\"\n";
  in.configChunk = CompileSources({{config, BaseName(o.config)}}, {o.config}, sizeT);
  ConfigCheck check = CheckConfig(config, BaseName(o.config));
  if (!check.ok) {
    std::string all;
    for (const std::string& e : check.errors) all += (all.empty() ? "" : "\nzpkpack: ") + WithPath(e, {o.config});
    Fail(all);
  }
  in.config = check.values;
  in.version = Version(in.config.version);
  CheckMainProgram(o.product, in.config.mainAppName);
  CheckNamedFiles(o.product, in.config.files);
  in.runtime = ResolveRuntime(o, data);

  in.installChunk = CompileScript(
      o.installScripts.empty() ? ShippedScript(data, ZPK_INSTALL_SCRIPT_FILES) : o.installScripts,
      "install script", sizeT);
  in.uninstallChunk = CompileScript(
      o.uninstallScripts.empty() ? ShippedScript(data, ZPK_UNINSTALL_SCRIPT_FILES) : o.uninstallScripts,
      "uninstall script", sizeT);

  // The installer's window takes its icon from group 128; without --icon it is the shipped
  // program icon.
  const std::string icon = o.icon.empty() ? data + "/installer.ico" : o.icon;
  const std::string iconBytes = ReadFile(icon, "icon");
  std::string error;
  if (!IconResources(iconBytes, kInstallerIconGroup, 1, in.icons, error)) Fail(icon + ": " + error);
  in.skinZip = SkinArchive(o.skin.empty() ? data + "/skin" : o.skin, iconBytes);
  if (!o.signCert.empty()) {  // before the slow part, not after it
    ReadFile(o.signCert, "signing certificate");
    ReadFile(o.signKey, "signing key");
    if (!o.signPassFile.empty()) ReadFile(o.signPassFile, "signing key's password file");
  }
  in.manifest = ReadFile(data + "/zpkinstaller.manifest", "manifest");
  in.stub = ReadFile(data + "/stubs/" + o.arch + "/zpkstub.exe", "installer stub");
  PeInfo pe;
  if (!ReadPeInfo(in.stub, pe, error)) Fail("installer stub: " + error);
  if (pe.pe32plus != (o.arch == "x86_64")) Fail("the installer stub for " + o.arch + " is built for another architecture");
  return in;
}

struct PayloadResult {
  std::string archive;
  TreeCount count;
};

PayloadResult PackPayload(const Options& o, const Inputs& in, const std::string& data, const WorkDir& work) {
  PayloadResult r;
  Progress progress;
  std::string error;
  auto counted = [&](const TreeCount& c) {
    progress.Show("counting: " + std::to_string(c.files) + " files, " + Mib(c.bytes));
  };
  if (!CountTree(o.product, r.count, counted, error)) Fail("cannot read the product folder: " + error);
  std::vector<std::string> extra;
  for (const RuntimeFile& f : in.runtime) {
    if (!f.added) continue;
    extra.push_back(f.path);
    std::error_code ec;
    ++r.count.files;
    r.count.bytes += fs::file_size(f.path, ec);
  }
  progress.Done("payload: " + std::to_string(r.count.files) + " files, " + Mib(r.count.bytes));
  std::string out = work.File("app.7z");
  auto packing = [&](uint64_t packed) {
    progress.Show("packing " + std::to_string(r.count.files) + " files (" + Mib(r.count.bytes) + "): " +
                  Mib(packed) + " packed");
  };
  if (!RunPackScript(data + "/pack-payload.sh", o.product, out, extra, packing, error)) Fail(error);
  r.archive = ReadFile(out, "packed payload");
  progress.Done("packed " + std::to_string(r.count.files) + " files: " + Mib(r.archive.size()));
  return r;
}

std::string Assemble(const Inputs& in, const std::string& payload) {
  std::vector<Resource> res = in.icons;
  res.push_back({ResId::Number(kRtManifest), ResId::Number(1), 1033, in.manifest});
  VersionStrings strings{in.config.companyName, in.config.productName, in.config.productName + " Setup",
                         in.config.copyright};
  res.push_back({ResId::Number(kRtVersion), ResId::Number(1), 1033, BuildVersionInfo(in.version, strings)});
  res.push_back({ResId::Name("LUA"), ResId::Name("GLOBAL_VAR.LUAC"), 1033, in.configChunk});
  res.push_back({ResId::Name("LUA"), ResId::Name("INSTSCRIPT.LUAC"), 1033, in.installChunk});
  res.push_back({ResId::Name("LUA"), ResId::Name("UNINSTSCRIPT.LUAC"), 1033, in.uninstallChunk});
  res.push_back({ResId::Name("_7Z"), ResId::Name("APP.7Z"), 1033, payload});
  res.push_back({ResId::Name("_7Z"), ResId::Name("APP.SHA256"), 1033, Sha256Hex(payload.data(), payload.size())});
  res.push_back({ResId::Name("ZIP"), ResId::Number(249), 1033, in.skinZip});
  std::string image = in.stub, error;
  bool ok = AddResourceSection(image, [&](uint32_t rva, std::string& section) {
    return BuildResourceSection(res, rva, section, error);
  }, error);
  if (!ok) Fail("installer stub: " + error);
  return image;
}

std::string Sign(const Options& o, const Inputs& in, const WorkDir& work, const std::string& unsigned_) {
  SignOptions s;
  s.cert = o.signCert;
  s.key = o.signKey;
  s.passFile = o.signPassFile;
  s.timestampUrl = o.timestampUrl;
  s.description = in.config.productName;
  if (o.noTimestamp) {
    const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
    if (epoch && *epoch) s.signingTime = std::atol(epoch);
  }
  std::string signedPath = work.File("signed.exe"), error;
  if (!SignFile(s, unsigned_, signedPath, error)) Fail(error);
  return signedPath;
}

int Run(const Options& o) {
  std::string data = o.dataDir.empty() ? DefaultDataDir() : o.dataDir;
  Inputs in = ReadInputs(o, data);
  WorkDir work(o.output);
  PayloadResult payload = PackPayload(o, in, data, work);
  std::string image = Assemble(in, payload.archive);
  std::string unsignedPath = work.File("unsigned.exe");
  WriteFile(unsignedPath, image);
  std::string final = unsignedPath, signature = "none (unsigned)";
  if (!o.signCert.empty()) {
    final = Sign(o, in, work, unsignedPath);
    signature = "Authenticode, certificate " + o.signCert +
                (o.noTimestamp ? ", no time stamp" : ", time-stamped by " + o.timestampUrl);
  }
  std::error_code ec;
  fs::rename(final, o.output, ec);
  if (ec) Fail("cannot write " + o.output + ": " + ec.message());
  uint64_t size = fs::file_size(o.output, ec);
  double ratio = payload.count.bytes ? 100.0 * payload.archive.size() / payload.count.bytes : 0.0;
  char ratioText[32];
  std::snprintf(ratioText, sizeof ratioText, "%.1f %%", ratio);
  std::string added, kept;
  for (const RuntimeFile& f : in.runtime) {
    if (f.added) added += (added.empty() ? "" : ", ") + f.name;
    else kept += "\n             " + f.name + ": " + f.note;
  }
  added = added.empty() ? "nothing added" : added + " added (engine runtime, " + o.arch + ")";
  std::printf("zpkpack: installer written\n"
              "  files:     %llu\n"
              "  runtime:   %s%s\n"
              "  unpacked:  %s (%llu bytes)\n"
              "  packed:    %s (%llu bytes), ratio %s\n"
              "  output:    %s (%s, %s, version %s)\n"
              "  signature: %s\n",
              static_cast<unsigned long long>(payload.count.files),
              added.c_str(), kept.c_str(), Mib(payload.count.bytes).c_str(),
              static_cast<unsigned long long>(payload.count.bytes), Mib(payload.archive.size()).c_str(),
              static_cast<unsigned long long>(payload.archive.size()), ratioText,
              fs::absolute(o.output).string().c_str(), Mib(size).c_str(), o.arch.c_str(),
              in.config.version.c_str(), signature.c_str());
  return 0;
}

// `zpkpack init DIR`: the starter configuration, copied from the data folder. An existing
// file is never replaced: it may hold a release engineer's finished configuration.
int Init(const InitOptions& o) {
  const std::string data = o.dataDir.empty() ? DefaultDataDir() : o.dataDir;
  const std::string text = ReadFile(data + "/scripts/config_template.lua", "starter configuration");
  std::error_code ec;
  fs::create_directories(o.dir, ec);
  if (ec) Fail("cannot create the folder " + o.dir + ": " + ec.message());
  const std::string path = (fs::path(o.dir) / "config.lua").string();
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
  if (fd < 0) {
    if (errno == EEXIST) Fail(path + " exists already: not overwritten (remove it to start afresh)");
    Fail("cannot write " + path + ": " + std::strerror(errno));
  }
  const ssize_t written = write(fd, text.data(), text.size());
  const bool ok = written == static_cast<ssize_t>(text.size());
  close(fd);
  if (!ok) {
    fs::remove(path, ec);
    Fail("cannot write " + path);
  }
  std::printf("zpkpack: wrote %s\n"
              "  fill in global_product_name, global_product_name_inner, global_main_app_name,\n"
              "  global_company_name and global_version, then:\n"
              "  zpkpack --product PRODUCT_FOLDER --config %s -o Setup.exe\n",
              path.c_str(), path.c_str());
  return 0;
}

// A failed run leaves no installer behind, not even one from an earlier run that a CI job
// could then ship by mistake.
void RemoveOutput(const Options& o) {
  std::error_code ec;
  if (!o.output.empty() && !fs::is_directory(o.output, ec)) fs::remove(o.output, ec);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  InitOptions init;
  std::string error;
  if (ParseInitOptions(args, init, error)) {
    if (!error.empty()) {
      std::fprintf(stderr, "zpkpack: %s\n%s", error.c_str(), kInitUsage);
      return 1;
    }
    if (init.help) {
      std::fputs(kInitUsage, stdout);
      return 0;
    }
    try {
      return Init(init);
    } catch (const Failure& f) {
      std::fprintf(stderr, "zpkpack: %s\n", f.message.c_str());
    } catch (const std::exception& e) {
      std::fprintf(stderr, "zpkpack: %s\n", e.what());
    }
    return 1;
  }
  Options o;
  if (!ParseOptions(args, o, error)) {
    RemoveOutput(o);
    std::fprintf(stderr, "zpkpack: %s (zpkpack --help lists the options)\n", error.c_str());
    return 1;
  }
  if (o.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  try {
    return Run(o);
  } catch (const Failure& f) {
    RemoveOutput(o);
    std::fprintf(stderr, "zpkpack: %s\n", f.message.c_str());
  } catch (const std::exception& e) {
    RemoveOutput(o);
    std::fprintf(stderr, "zpkpack: %s\n", e.what());
  }
  return 1;
}
