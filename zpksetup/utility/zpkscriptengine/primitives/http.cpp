#include "primitives/http.h"

#include <string>

#include "log/debugoutput.h"

namespace {

constexpr int32_t kConnectTimeoutSeconds = 13;
constexpr int32_t kTotalTimeoutSeconds = 15;

const CHttpClient::Resolvers*& TestResolvers() {
  static const CHttpClient::Resolvers* resolvers = nullptr;
  return resolvers;
}

// The script's bytes, unconverted; anything but a string or a number is empty.
std::string Bytes(lua_State* L, int index) {
  lua_pushvalue(L, index);  // lua_tolstring would turn a number argument into a string
  size_t len = 0;
  const char* s = lua_tolstring(L, -1, &len);
  std::string out = s ? std::string(s, len) : std::string();
  lua_pop(L, 1);
  return out;
}

}  // namespace

namespace httppost {
void SetResolversForTest(const CHttpClient::Resolvers* resolvers) { TestResolvers() = resolvers; }
}  // namespace httppost

int Lua_HttpPost(lua_State* L) {
  const std::string url = Bytes(L, 1);
  const std::string body = Bytes(L, 2);
  if (url.empty()) {
    lua_pushboolean(L, 0);
    return 1;
  }
  // A fresh client per call: the fallback resolvers never carry over between calls.
  const CHttpClient::Resolvers* seam = TestResolvers();
  CHttpClient client = seam ? CHttpClient(false, false, kConnectTimeoutSeconds,
                                          kTotalTimeoutSeconds, *seam)
                             : CHttpClient(false, false, kConnectTimeoutSeconds,
                                           kTotalTimeoutSeconds);
  std::string response;
  const int code = client.Post(url, body, response);
  qd::Output(L"Post Url code: %d", code);
  lua_pushboolean(L, code == 0 ? 1 : 0);
  return 1;
}
