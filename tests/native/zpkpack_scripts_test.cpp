// zpkpack's script side: chunks for both targets equal luac's (the 32-bit luac for i686),
// syntax errors name file and line, the configuration check names each bad global, and
// version strings are checked against the registry's encoding.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "configcheck.h"
#include "luachunk.h"

using namespace zpkpack;

namespace {

std::string Read(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

const std::string kScripts = ZPK_SCRIPTS_DIR;
const std::string kReference = ZPK_REFERENCE_CHUNKS;  // luac32/luac64 outputs, made at build time

// The shipped chunks and their sources in order (comma-separated lists from the build).
std::vector<std::pair<std::string, std::vector<std::string>>> ShippedChunks() {
  auto split = [](const std::string& list) {
    std::vector<std::string> files;
    std::stringstream in(list);
    for (std::string f; std::getline(in, f, ',');) files.push_back(f);
    return files;
  };
  return {{"global_var", {"global_var.lua"}},
          {"instscript", split(ZPK_INSTALL_SCRIPT_FILES)},
          {"uninstscript", split(ZPK_UNINSTALL_SCRIPT_FILES)}};
}

}  // namespace

TEST(ZpkpackChunk, ShippedScriptsEqualLuacForBothTargets) {
  for (const auto& [name, files] : ShippedChunks()) {
    std::vector<ScriptSource> sources;
    for (const std::string& file : files) {
      sources.push_back({Read(kScripts + "/" + file), file});
      ASSERT_FALSE(sources.back().text.empty()) << file;
    }
    for (unsigned sizeT : {4u, 8u}) {
      std::string want = Read(kReference + "/" + name + (sizeT == 4 ? ".32.luac" : ".64.luac"));
      ASSERT_FALSE(want.empty()) << name << " reference chunk";
      ChunkResult r = CompileLuaChunks(sources, sizeT);
      ASSERT_TRUE(r.ok) << r.error;
      EXPECT_EQ(static_cast<unsigned char>(r.chunk[8]), sizeT);
      EXPECT_TRUE(r.chunk == want) << name << " for size_t " << sizeT << ": " << r.chunk.size()
                                   << " bytes, luac made " << want.size();
    }
  }
}

TEST(ZpkpackChunk, ShebangLineAndByteOrderMarkAreSkippedLikeLuac) {
  ChunkResult plain = CompileLuaChunk("\nx = 1\n", "a.lua", 4);
  ChunkResult shebang = CompileLuaChunk("#!/usr/bin/lua\nx = 1\n", "a.lua", 4);
  ChunkResult bom = CompileLuaChunk("\xEF\xBB\xBF\nx = 1\n", "a.lua", 4);
  ASSERT_TRUE(plain.ok && shebang.ok && bom.ok);
  EXPECT_EQ(plain.chunk, shebang.chunk);
  EXPECT_EQ(plain.chunk, bom.chunk);
}

TEST(ZpkpackChunk, SyntaxErrorsNameFileAndLine) {
  ChunkResult r = CompileLuaChunk("x = 1\n\nfunction f(\n", "bad.lua", 4);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error.rfind("bad.lua:4:", 0), 0u) << r.error;
  ChunkResult binary = CompileLuaChunk("\x1bLua\x52", "b.lua", 4);
  EXPECT_FALSE(binary.ok) << "a precompiled chunk is not a source";
  ChunkResult second = CompileLuaChunks({{"x = 1\n", "a.lua"}, {"x = 1\ny = (\n", "b.lua"}}, 4);
  EXPECT_FALSE(second.ok);
  EXPECT_EQ(second.error.rfind("b.lua:3:", 0), 0u) << "the source it is in: " << second.error;
  EXPECT_FALSE(CompileLuaChunks({}, 4).ok);
}

TEST(ZpkpackChunk, ResizingIsReversibleAndRefusesBrokenChunks) {
  std::string src = "local t = {'a', 'bb', 1.5, true, nil}\nfunction g(a, ...) return function() return a end end\n";
  ChunkResult wide = CompileLuaChunk(src, "r.lua", 8);
  ASSERT_TRUE(wide.ok) << wide.error;
  ChunkResult narrow = ResizeChunk(wide.chunk, 4);
  ASSERT_TRUE(narrow.ok) << narrow.error;
  EXPECT_LT(narrow.chunk.size(), wide.chunk.size());
  ChunkResult back = ResizeChunk(narrow.chunk, 8);
  ASSERT_TRUE(back.ok);
  EXPECT_EQ(back.chunk, wide.chunk);
  EXPECT_FALSE(ResizeChunk(wide.chunk.substr(0, wide.chunk.size() - 3), 4).ok);
  EXPECT_FALSE(ResizeChunk(wide.chunk + "x", 4).ok);
  EXPECT_FALSE(ResizeChunk("not a chunk at all", 4).ok);
}

TEST(ZpkpackConfig, ShippedConfigurationPasses) {
  ConfigCheck c = CheckConfig(Read(kScripts + "/global_var.lua"), "global_var.lua");
  ASSERT_TRUE(c.ok) << (c.errors.empty() ? "" : c.errors[0]);
  EXPECT_EQ(c.values.version, "1.0.0.70");
  EXPECT_EQ(c.values.mainAppName, "RuvanZip.exe");
  EXPECT_EQ(c.values.productName, "RuvanZip解压缩");
}

TEST(ZpkpackConfig, EachMissingOrMistypedGlobalIsNamed) {
  std::string src = Read(kScripts + "/global_var.lua");
  src += "\nglobal_app_id = '161'\nglobal_company_name = nil\nglobal_enable_ss_install = 1\n";
  ConfigCheck c = CheckConfig(src, "cfg.lua");
  EXPECT_FALSE(c.ok);
  ASSERT_EQ(c.errors.size(), 3u);
  std::string all = c.errors[0] + "\n" + c.errors[1] + "\n" + c.errors[2];
  EXPECT_NE(all.find("cfg.lua: global_app_id must be a number, not a string"), std::string::npos) << all;
  EXPECT_NE(all.find("cfg.lua: global_company_name is missing (a string"), std::string::npos) << all;
  EXPECT_NE(all.find("global_enable_ss_install must be a boolean, not a number"), std::string::npos) << all;
  // An optional global may be absent.
  ConfigCheck opt = CheckConfig(Read(kScripts + "/global_var.lua") + "\nglobal_kf_QQ = nil\n", "cfg.lua");
  EXPECT_TRUE(opt.ok);
}

// What zpkpack init writes fails until its five values are filled in; then it is enough.
TEST(ZpkpackConfig, StarterConfigurationNeedsOnlyItsFiveValues) {
  const std::string starter = Read(kScripts + "/config_template.lua");
  ConfigCheck empty = CheckConfig(starter, "config.lua");
  EXPECT_FALSE(empty.ok);
  std::string all;
  for (const std::string& e : empty.errors) all += e + "\n";
  for (const char* g : {"global_product_name", "global_product_name_inner", "global_main_app_name",
                        "global_company_name", "global_version"})
    EXPECT_NE(all.find(std::string("config.lua: ") + g + " is empty: fill it in"), std::string::npos) << g << "\n" << all;
  EXPECT_EQ(empty.errors.size(), 5u) << all;

  std::string filled = starter;
  auto fill = [&filled](const std::string& name, const std::string& value) {
    const std::string blank = "\n" + name + " = \"\"\n";
    const size_t at = filled.find(blank);
    ASSERT_NE(at, std::string::npos) << name;
    filled.replace(at, blank.size(), "\n" + name + " = \"" + value + "\"\n");
  };
  fill("global_product_name", "Hello Notes");
  fill("global_product_name_inner", "HelloNotes");
  fill("global_main_app_name", "Hello.exe");
  fill("global_company_name", "Hello Example Ltd.");
  fill("global_version", "1.2.0.3");
  ConfigCheck ok = CheckConfig(filled, "config.lua");
  ASSERT_TRUE(ok.ok) << (ok.errors.empty() ? "" : ok.errors[0]);
  EXPECT_EQ(ok.values.productName, "Hello Notes");
  ASSERT_EQ(ok.values.files.size(), 1u);
  EXPECT_EQ(ok.values.files[0].path, "Hello.exe");

  ConfigCheck inner = CheckConfig(filled + "global_product_name_inner = \"Hello\\\\Notes\"\n", "config.lua");
  ASSERT_FALSE(inner.ok);
  EXPECT_NE(inner.errors[0].find("global_product_name_inner \"Hello\\Notes\" must be usable as a folder"),
            std::string::npos) << inner.errors[0];
}

// Lists, and the product files the optional steps name.
TEST(ZpkpackConfig, ListsAndNamedFiles) {
  ConfigCheck shipped = CheckConfig(Read(kScripts + "/global_var.lua"), "global_var.lua");
  ASSERT_TRUE(shipped.ok) << (shipped.errors.empty() ? "" : shipped.errors[0]);
  std::vector<std::string> named;
  for (const NamedFile& f : shipped.values.files) named.push_back(f.global + "=" + f.path);
  const std::vector<std::string> expected = {
      "global_main_app_name=RuvanZip.exe", "global_service_app_name=RzSrv.exe",
      "global_firewall_app_name=RuvanZip.exe", "global_shell_ext_dlls[1]=IShellExt.dll",
      "global_shell_ext_dlls_wow64[1]=IShellExt64.dll", "global_shell_ext_dlls_wow64[2]=shell\\RuvanShell.dll",
      "global_certificate_file=http.cer"};
  EXPECT_EQ(named, expected);

  const std::string base = "global_product_name = 'P'\nglobal_product_name_inner = 'P'\nglobal_main_app_name = 'P.exe'\n"
                           "global_company_name = 'C'\nglobal_version = '1.0.0.0'\n";
  struct Case {
    const char* assignment;
    const char* error;  // null: accepted
  };
  const Case cases[] = {
      {"global_kill_process_list = {'a.exe', 'b.exe'}", nullptr},
      {"global_kill_process_list = {'a.exe', 3}", "global_kill_process_list must be a list of strings, not a table"},
      {"global_kill_process_list = {'a.exe', x = 'b.exe'}", "global_kill_process_list must be a list of strings"},
      {"global_kill_process_list = 'a.exe'", "global_kill_process_list must be a list of strings, not a string"},
      {"global_assoc_extension = '.p'", nullptr},
      {"global_assoc_extension = {'.p', '.q'}", nullptr},
      {"global_assoc_extension = 1", "global_assoc_extension must be a string or list of strings, not a number"},
      {"global_certificate_file = '..\\\\x.cer'", "global_certificate_file \"..\\x.cer\" must name a file inside"},
      {"global_certificate_file = 'C:\\\\x.cer'", "must name a file inside the product folder"},
      {"global_shell_ext_dlls = {'sub\\\\x.dll', '\\\\y.dll'}", "global_shell_ext_dlls[2] \"\\y.dll\" must name a file"},
      {"global_service_name = 'S'", "global_service_name and global_service_app_name go together"},
      {"global_service_name = 'S'\nglobal_service_app_name = 'S.exe'", nullptr},
  };
  for (const Case& c : cases) {
    ConfigCheck r = CheckConfig(base + c.assignment + "\n", "cfg.lua");
    if (!c.error) {
      EXPECT_TRUE(r.ok) << c.assignment << ": " << (r.errors.empty() ? "" : r.errors[0]);
      continue;
    }
    ASSERT_FALSE(r.ok) << c.assignment;
    EXPECT_NE(r.errors[0].find(c.error), std::string::npos) << c.assignment << ": " << r.errors[0];
  }
  ConfigCheck sub = CheckConfig(base + "global_shell_ext_dlls = {'sub\\\\x.dll'}\n", "cfg.lua");
  ASSERT_TRUE(sub.ok);
  ASSERT_EQ(sub.values.files.size(), 2u);
  EXPECT_EQ(sub.values.files[1].path, "sub\\x.dll");
}

TEST(ZpkpackConfig, ScriptsThatFailOrNeverEndAreReported) {
  ConfigCheck err = CheckConfig("x = 1\nerror('boom')\n", "e.lua");
  ASSERT_FALSE(err.ok);
  EXPECT_NE(err.errors[0].find("e.lua:2: boom"), std::string::npos) << err.errors[0];
  ConfigCheck loop = CheckConfig("while true do end\n", "l.lua");
  ASSERT_FALSE(loop.ok);
  EXPECT_NE(loop.errors[0].find("runs too long"), std::string::npos) << loop.errors[0];
  ConfigCheck io = CheckConfig("io.open('/tmp/x', 'w')\n", "io.lua");
  EXPECT_FALSE(io.ok) << "no file access while checking";
}

TEST(ZpkpackConfig, VersionStrings) {
  std::array<uint16_t, 4> v{};
  std::string why;
  EXPECT_TRUE(ParseVersion("1.0.0.70", v, why));
  EXPECT_EQ(v, (std::array<uint16_t, 4>{1, 0, 0, 70}));
  EXPECT_TRUE(ParseVersion("42.94.96.7295", v, why)) << "the largest that fits the DWORD: " << why;
  for (const char* bad : {"", "1.0.0", "1.0.0.0.0", "1.0.0.x", "1..0.0", "1.0.0.70 ", " 1.0.0.70",
                          "1.100.0.0", "1.0.100.0", "1.0.0.10000", "42.94.96.7296", "43.0.0.0", "-1.0.0.0", "1.0.0.0x"})
    EXPECT_FALSE(ParseVersion(bad, v, why)) << '"' << bad << '"';
}
