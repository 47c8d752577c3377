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

}  // namespace

TEST(ZpkpackChunk, ShippedScriptsEqualLuacForBothTargets) {
  for (const char* name : {"global_var", "instscript", "uninstscript"}) {
    std::string source = Read(kScripts + "/" + name + ".lua");
    ASSERT_FALSE(source.empty()) << name;
    for (unsigned sizeT : {4u, 8u}) {
      std::string want = Read(kReference + "/" + name + (sizeT == 4 ? ".32.luac" : ".64.luac"));
      ASSERT_FALSE(want.empty()) << name << " reference chunk";
      ChunkResult r = CompileLuaChunk(source, std::string(name) + ".lua", sizeT);
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
  src += "\nglobal_app_id = '161'\nglobal_reg_sub_key = nil\nglobal_enable_ss_install = 1\n";
  ConfigCheck c = CheckConfig(src, "cfg.lua");
  EXPECT_FALSE(c.ok);
  ASSERT_EQ(c.errors.size(), 3u);
  std::string all = c.errors[0] + "\n" + c.errors[1] + "\n" + c.errors[2];
  EXPECT_NE(all.find("cfg.lua: global_app_id must be a number, not a string"), std::string::npos) << all;
  EXPECT_NE(all.find("cfg.lua: global_reg_sub_key is missing (a string)"), std::string::npos) << all;
  EXPECT_NE(all.find("global_enable_ss_install must be a boolean, not a number"), std::string::npos) << all;
  // An optional global may be absent.
  ConfigCheck opt = CheckConfig(Read(kScripts + "/global_var.lua") + "\nglobal_kf_QQ = nil\n", "cfg.lua");
  EXPECT_TRUE(opt.ok);
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
