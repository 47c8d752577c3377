#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "http/chttpclient.h"
#include "log/qvbaselog.h"
#include "loopback.h"
#include "textconv.h"

namespace {

// libcurl's process-wide state belongs to whoever runs the program: the windowed run's
// entry point, here the test program.
class CurlEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_EQ(curl_global_init(CURL_GLOBAL_ALL), CURLE_OK);
    if (!loopback::Running()) return;
    CreateDirectoryW(loopback::File("log").c_str(), nullptr);
    CQVBaseLog::Instance()->InitLogger(Utf16ToAnsi(loopback::File("log\\Install.log").c_str()).c_str());
  }
  void TearDown() override { curl_global_cleanup(); }
};
::testing::Environment* const g_curl = ::testing::AddGlobalTestEnvironment(new CurlEnvironment);

// Braces, quotes, UTF-8 and text after the JSON: the body must arrive byte for byte.
const std::string kBody =
    "{\"event\":\"install\",\"name\":\"\xE5\xAE\x89\xE8\xA3\x85\",\"q\":\"a\\\"b{}\"} {not json";
const std::string kOkReply = "{\"result\":\"ok\"}";
const std::string kFailReply = "{\"error\":\"server failed\"}";
const std::string kNoHost = "nohost.invalid";

std::string InstallLog() {
  return ReadFileBytes(loopback::File("log\\") + Utf8ToUtf16(CQVBaseLog::TodayFileName("Install")));
}

// The texts of the debug callback's records in a piece of the install log, each after
// its "[chttpclient.cpp OnDebug: LINE] " prefix.
std::vector<std::string> DebugRecords(const std::string& log) {
  static const std::string kPrefix = "[chttpclient.cpp OnDebug: ";
  std::vector<std::string> out;
  size_t pos = log.find(kPrefix);
  while (pos != std::string::npos) {
    size_t p = pos + kPrefix.size();
    size_t digits = p;
    while (p < log.size() && isdigit(static_cast<unsigned char>(log[p]))) ++p;
    size_t next = log.find(kPrefix, p);
    if (p > digits && log.compare(p, 2, "] ") == 0) {
      std::string text = log.substr(p + 2, (next == std::string::npos ? log.size() : next) - p - 2);
      // Cut the next record's "[date] [info] [thread] " head, if any.
      size_t head = text.rfind("\n[");
      if (next != std::string::npos && head != std::string::npos) text.resize(head + 1);
      out.push_back(text);
    } else {
      out.push_back("<malformed prefix>");
    }
    pos = next;
  }
  return out;
}

int CountStartingWith(const std::vector<std::string>& records, const std::string& start) {
  int n = 0;
  for (const auto& r : records) n += r.compare(0, start.size(), start) == 0;
  return n;
}

// The install log records written while it lives.
class LogWatch {
 public:
  LogWatch() : start_(InstallLog().size()) {}
  std::vector<std::string> Records() const { return DebugRecords(InstallLog().substr(start_)); }

 private:
  size_t start_;
};

long long MillisSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t)
      .count();
}

CHttpClient::Resolvers LoopbackResolvers() {
  CHttpClient::Resolvers r;
  r.primary = loopback::SystemResolver();
  r.fallback = loopback::FallbackResolver();
  return r;
}

class HttpClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(loopback::Running()) << "run through tests/http/with_servers.sh";
  }
  void ExpectOnePost(const std::vector<loopback::Request>& seen, const std::string& scheme,
                     const std::string& path, const std::string& body) {
    ASSERT_EQ(seen.size(), 1u);
    const loopback::Request& r = seen[0];
    EXPECT_EQ(r.scheme, scheme);
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.path, path);
    EXPECT_EQ(r.accept, "application/json");
    EXPECT_EQ(r.contentType, "application/json");
    EXPECT_EQ(r.charsets, "utf-8");
    EXPECT_EQ(r.body, body);
  }
};

}  // namespace

TEST_F(HttpClientTest, RepliesOf200And500BothCompleteWithOnePost) {
  CHttpClient client(false, false, 13, 15);
  for (const auto& c : {std::make_pair(std::string("/ok"), kOkReply),
                        std::make_pair(std::string("/fail"), kFailReply)}) {
    loopback::RequestWatch watch;
    std::string response = "kept|";
    EXPECT_EQ(client.Post(loopback::HttpUrl(c.first), kBody, response), CURLE_OK) << c.first;
    EXPECT_EQ(response, "kept|" + c.second);  // appended, never replaced
    ExpectOnePost(watch.New(), "http", c.first, kBody);
  }
  EXPECT_FALSE(client.UsesFallbackResolvers());
}

TEST_F(HttpClientTest, HttpsWithASelfSignedCertificateGoesThrough) {
  CHttpClient client(false, false, 13, 15);
  loopback::RequestWatch watch;
  std::string response;
  EXPECT_EQ(client.Post(loopback::HttpsUrl("/ok"), kBody, response), CURLE_OK);
  EXPECT_EQ(response, kOkReply);
  ExpectOnePost(watch.New(), "https", "/ok", kBody);
}

TEST_F(HttpClientTest, EmptyBodyAndBodyCutAtItsFirstZeroByte) {
  CHttpClient client(false, false, 13, 15);
  {
    loopback::RequestWatch watch;
    std::string response;
    EXPECT_EQ(client.Post(loopback::HttpUrl("/ok"), "", response), CURLE_OK);
    ExpectOnePost(watch.New(), "http", "/ok", "");
  }
  {
    loopback::RequestWatch watch;
    std::string response;
    EXPECT_EQ(client.Post(loopback::HttpUrl("/ok"), std::string("{\"a\":1}\0{\"b\":2}", 15), response),
              CURLE_OK);
    ExpectOnePost(watch.New(), "http", "/ok", "{\"a\":1}");
  }
}

TEST_F(HttpClientTest, UnresolvedHostIsTriedOnceMoreThroughTheFallbackResolvers) {
  CHttpClient client(true, false, 13, 15, LoopbackResolvers());
  const std::string url = "http://" + kNoHost + ":" + loopback::Port("ZPK_HTTP_PORT") + "/ok";
  loopback::RequestWatch requests;
  {
    loopback::DnsWatch dns;
    LogWatch log;
    std::string response;
    EXPECT_EQ(client.Post(url, kBody, response), CURLE_COULDNT_RESOLVE_HOST);
    EXPECT_TRUE(client.UsesFallbackResolvers());
    // Exactly two attempts (each ends its connection): the first asks the system's
    // servers, the second the fallback.
    EXPECT_EQ(CountStartingWith(log.Records(), "[TEXT] Closing connection"), 2);
    EXPECT_GE(CountStartingWith(log.Records(), "[TEXT] Could not resolve host: " + kNoHost), 1);
    std::vector<std::string> asked = dns.Asked(kNoHost);
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.front(), "system");
    EXPECT_EQ(asked.back(), "fallback");
    bool fallbackSeen = false;
    for (const auto& who : asked) {
      if (who == "fallback") fallbackSeen = true;
      EXPECT_FALSE(fallbackSeen && who == "system") << "the system's servers asked after the retry";
    }
  }
  {
    // The object keeps the fallback resolvers: the next request starts with them and is
    // not retried.
    loopback::DnsWatch dns;
    LogWatch log;
    std::string response;
    EXPECT_EQ(client.Post(url, kBody, response), CURLE_COULDNT_RESOLVE_HOST);
    EXPECT_EQ(CountStartingWith(log.Records(), "[TEXT] Closing connection"), 1);
    std::vector<std::string> asked = dns.Asked(kNoHost);
    ASSERT_FALSE(asked.empty());
    for (const auto& who : asked) EXPECT_EQ(who, "fallback");
  }
  EXPECT_TRUE(requests.New().empty());
}

TEST_F(HttpClientTest, ClientMadeWithTheFallbackFlagAsksOnlyTheFallbackResolvers) {
  CHttpClient client(true, true, 13, 15, LoopbackResolvers());
  loopback::DnsWatch dns;
  LogWatch log;
  std::string response;
  EXPECT_EQ(client.Post("http://" + kNoHost + "/", "{}", response), CURLE_COULDNT_RESOLVE_HOST);
  EXPECT_EQ(CountStartingWith(log.Records(), "[TEXT] Closing connection"), 1);
  std::vector<std::string> asked = dns.Asked(kNoHost);
  ASSERT_FALSE(asked.empty());
  for (const auto& who : asked) EXPECT_EQ(who, "fallback");
}

TEST_F(HttpClientTest, RefusedConnectionFailsAtOnceWithoutRetry) {
  CHttpClient client(true, false, 13, 15, LoopbackResolvers());
  LogWatch log;
  std::string response;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(client.Post("http://127.0.0.1:" + loopback::Port("ZPK_REFUSED_PORT") + "/", kBody, response),
            CURLE_COULDNT_CONNECT);
  const long long ms = MillisSince(start);
  std::printf("refused connection reported after %lld ms\n", ms);
  EXPECT_LT(ms, 13000) << "waited for the connect timeout instead of taking the refusal";
  EXPECT_FALSE(client.UsesFallbackResolvers());
  EXPECT_EQ(CountStartingWith(log.Records(), "[HEADER_OUT]"), 0);
}

TEST_F(HttpClientTest, ServerThatNeverAnswersEndsAtTheTotalTimeout) {
  CHttpClient client(false, false, 5, 2);
  loopback::RequestWatch watch;
  std::string response;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(client.Post(loopback::HttpUrl("/hang"), kBody, response), CURLE_OPERATION_TIMEDOUT);
  const long long ms = MillisSince(start);
  std::printf("silent server given up after %lld ms (total timeout 2 s)\n", ms);
  EXPECT_GE(ms, 1900);
  EXPECT_TRUE(response.empty());
  ExpectOnePost(watch.New(), "http", "/hang", kBody);
}

TEST_F(HttpClientTest, DebugCallbackLinesReachTheInstallLogOnlyWithTheDebugFlag) {
  ASSERT_TRUE(CQVBaseLog::Instance()->HasLogger());
  {
    CHttpClient client(true, false, 13, 15);
    LogWatch log;
    std::string response;
    ASSERT_EQ(client.Post(loopback::HttpUrl("/ok"), "debug-body", response), CURLE_OK);
    const std::vector<std::string> records = log.Records();
    EXPECT_EQ(CountStartingWith(records, "<malformed prefix>"), 0);
    EXPECT_GE(CountStartingWith(records, "[TEXT] "), 1);
    EXPECT_EQ(CountStartingWith(records, "[HEADER_OUT] POST /ok HTTP/1.1\r\n"), 1);
    EXPECT_EQ(CountStartingWith(records, "[DATA_OUT] debug-body"), 1);
    EXPECT_EQ(CountStartingWith(records, "[HEADER_IN] HTTP/1.0 200 OK"), 1);
    EXPECT_EQ(CountStartingWith(records, "[DATA_IN] " + kOkReply), 1);
    for (const auto& r : records) {
      if (r.compare(0, 13, "[HEADER_OUT] ") != 0) continue;
      EXPECT_NE(r.find("Accept: application/json\r\n"), std::string::npos) << r;
      EXPECT_NE(r.find("Content-Type: application/json\r\n"), std::string::npos) << r;
      EXPECT_NE(r.find("charsets: utf-8\r\n"), std::string::npos) << r;
    }
  }
  {
    CHttpClient client(false, false, 13, 15);
    LogWatch log;
    std::string response;
    ASSERT_EQ(client.Post(loopback::HttpUrl("/ok"), "quiet-body", response), CURLE_OK);
    EXPECT_TRUE(log.Records().empty());
  }
}

TEST_F(HttpClientTest, CallbackContracts) {
  char data[] = "abcdef";
  std::string response = "x";
  EXPECT_EQ(CHttpClient::OnWrite(data, 2, 3, &response), 6u);
  EXPECT_EQ(response, "xabcdef");
  EXPECT_EQ(CHttpClient::OnWrite(data, 2, 3, nullptr), 0u);  // libcurl aborts on this

  LogWatch log;
  char tls[] = "\x16\x03\x01";
  EXPECT_EQ(CHttpClient::OnDebug(nullptr, CURLINFO_SSL_DATA_IN, tls, 3, nullptr), 0);
  EXPECT_EQ(CHttpClient::OnDebug(nullptr, CURLINFO_SSL_DATA_OUT, tls, 3, nullptr), 0);
  char text[] = "{not a field} and more";
  EXPECT_EQ(CHttpClient::OnDebug(nullptr, CURLINFO_TEXT, text, 13, nullptr), 0);
  const std::vector<std::string> records = log.Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0], "[TEXT] {not a field}\r\n");
}
