#include <gtest/gtest.h>

#include <string>

#include "loopback.h"
#include "primitives/http.h"
#include "scriptengine.h"
#include "testutil.h"

namespace {

ZPKScriptEngine* Engine() { return ZPKScriptEngine::Instance(); }

// Runs a chunk with the servers' addresses as globals HTTP, HTTPS, REFUSED and NOHOST.
bool RunLua(const std::string& code) {
  const std::string prelude =
      "HTTP = 'http://127.0.0.1:" + loopback::Port("ZPK_HTTP_PORT") + "'\n" +
      "HTTPS = 'https://127.0.0.1:" + loopback::Port("ZPK_HTTPS_PORT") + "'\n" +
      "REFUSED = 'http://127.0.0.1:" + loopback::Port("ZPK_REFUSED_PORT") + "/'\n" +
      "NOHOST = 'http://nohost.invalid:" + loopback::Port("ZPK_HTTP_PORT") + "/ok'\n";
  const std::string chunk = prelude + code;
  return Engine()->DoBuffer(chunk.data(), chunk.size(), "=httppost");
}

// Bytes that are neither valid UTF-8 nor JSON: they must reach the server unchanged.
const char kLuaBody[] = R"("{\"n\":\"\229\174\137\"} \255 not json")";
const std::string kBytes = "{\"n\":\"\xE5\xAE\x89\"} \xFF not json";

class HttpPostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(loopback::Running()) << "run through tests/http/with_servers.sh";
    resolvers_.primary = loopback::SystemResolver();
    resolvers_.fallback = loopback::FallbackResolver();
    httppost::SetResolversForTest(&resolvers_);
  }
  void TearDown() override { httppost::SetResolversForTest(nullptr); }

  CHttpClient::Resolvers resolvers_;
};

}  // namespace

TEST_F(HttpPostTest, CompletedTransfersAreTrueWhateverTheStatus) {
  for (const char* path : {"/ok", "/fail"}) {
    loopback::RequestWatch watch;
    DebugCapture qd;
    ASSERT_TRUE(RunLua(std::string("posted = Lua_HttpPost(HTTP .. '") + path + "', " + kLuaBody + ")"));
    EXPECT_TRUE(Engine()->GetGlobalBoolean("posted")) << path;
    EXPECT_EQ(qd.lines(), std::vector<std::wstring>{L"qd Post Url code: 0"});
    auto seen = watch.New();
    ASSERT_EQ(seen.size(), 1u) << path;
    EXPECT_EQ(seen[0].method, "POST");
    EXPECT_EQ(seen[0].path, path);
    EXPECT_EQ(seen[0].accept, "application/json");
    EXPECT_EQ(seen[0].contentType, "application/json");
    EXPECT_EQ(seen[0].charsets, "utf-8");
    EXPECT_EQ(seen[0].body, kBytes);
  }
}

TEST_F(HttpPostTest, HttpsIsTrue) {
  loopback::RequestWatch watch;
  ASSERT_TRUE(RunLua(std::string("posted = Lua_HttpPost(HTTPS .. '/ok', ") + kLuaBody + ")"));
  EXPECT_TRUE(Engine()->GetGlobalBoolean("posted"));
  auto seen = watch.New();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].scheme, "https");
  EXPECT_EQ(seen[0].body, kBytes);
}

TEST_F(HttpPostTest, EmptyOrMissingAddressIsFalseAndSendsNothing) {
  loopback::RequestWatch watch;
  DebugCapture qd;
  ASSERT_TRUE(RunLua(R"(
    results = { Lua_HttpPost("", "{}"), Lua_HttpPost(nil, "{}"), Lua_HttpPost({}, "{}"),
                Lua_HttpPost() }
    assert(#results == 4)
    for i = 1, 4 do assert(results[i] == false, i) end
    empty_ok = true)"));
  EXPECT_TRUE(Engine()->GetGlobalBoolean("empty_ok"));
  EXPECT_TRUE(qd.lines().empty());
  EXPECT_TRUE(watch.New().empty());
}

TEST_F(HttpPostTest, NumberBodyIsItsTextAndOtherValuesAreEmpty) {
  loopback::RequestWatch watch;
  ASSERT_TRUE(RunLua(R"(
    local n = 12.5
    assert(Lua_HttpPost(HTTP .. "/ok", n) == true)
    assert(type(n) == "number")
    assert(Lua_HttpPost(HTTP .. "/ok", {}) == true)
    assert(Lua_HttpPost(HTTP .. "/ok") == true)
    bodies_ok = true)"));
  EXPECT_TRUE(Engine()->GetGlobalBoolean("bodies_ok"));
  auto seen = watch.New();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].body, "12.5");
  EXPECT_EQ(seen[1].body, "");
  EXPECT_EQ(seen[2].body, "");
}

TEST_F(HttpPostTest, UnresolvedHostIsFalseWithCode6AndEveryCallStartsAfresh) {
  for (int call = 0; call < 2; ++call) {
    loopback::DnsWatch dns;
    DebugCapture qd;
    ASSERT_TRUE(RunLua("posted = Lua_HttpPost(NOHOST, '{}')"));
    EXPECT_FALSE(Engine()->GetGlobalBoolean("posted"));
    EXPECT_EQ(qd.lines(), std::vector<std::wstring>{L"qd Post Url code: 6"});
    // Each call has its own client: the system's servers first, then the fallback.
    std::vector<std::string> asked = dns.Asked("nohost.invalid");
    ASSERT_FALSE(asked.empty()) << "call " << call;
    EXPECT_EQ(asked.front(), "system") << "call " << call;
    EXPECT_EQ(asked.back(), "fallback") << "call " << call;
  }
}

TEST_F(HttpPostTest, RefusedConnectionIsFalse) {
  DebugCapture qd;
  ASSERT_TRUE(RunLua("posted = Lua_HttpPost(REFUSED, '{}')"));
  EXPECT_FALSE(Engine()->GetGlobalBoolean("posted"));
  EXPECT_EQ(qd.lines(), std::vector<std::wstring>{L"qd Post Url code: 7"});
}
