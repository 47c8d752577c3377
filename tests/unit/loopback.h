// The loopback stand-ins that tests/http/with_servers.sh starts around an HTTP test:
// where they listen and what they saw.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "testutil.h"

namespace loopback {

inline std::string Env(const char* name) {
  char buf[1024];
  DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
  return (n > 0 && n < sizeof buf) ? std::string(buf, n) : std::string();
}

// False when the test was started without tests/http/with_servers.sh.
inline bool Running() { return !Env("ZPK_HTTP_DIR").empty(); }

inline std::string Port(const char* var) { return Env(var); }
inline std::string HttpUrl(const std::string& path) {
  return "http://127.0.0.1:" + Port("ZPK_HTTP_PORT") + path;
}
inline std::string HttpsUrl(const std::string& path) {
  return "https://127.0.0.1:" + Port("ZPK_HTTPS_PORT") + path;
}
inline std::string SystemResolver() { return "127.0.0.1:" + Port("ZPK_DNS_SYSTEM_PORT"); }
inline std::string FallbackResolver() { return "127.0.0.1:" + Port("ZPK_DNS_FALLBACK_PORT"); }

// A Linux path of the servers' folder as Wine's Z: drive sees it.
inline std::wstring File(const char* name) {
  std::wstring dir = L"Z:";
  for (char c : Env("ZPK_HTTP_DIR")) dir += (c == '/') ? L'\\' : static_cast<wchar_t>(c);
  std::wstring n;
  for (const char* p = name; *p; ++p) n += static_cast<wchar_t>(*p);
  return dir + L"\\" + n;
}

inline std::vector<std::vector<std::string>> ReadRecords(const char* name) {
  std::vector<std::vector<std::string>> out;
  const std::string text = ReadFileBytes(File(name));
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::vector<std::string> fields;
    size_t f = start;
    while (true) {
      size_t tab = text.find('\t', f);
      if (tab == std::string::npos || tab > end) {
        fields.push_back(text.substr(f, end - f));
        break;
      }
      fields.push_back(text.substr(f, tab - f));
      f = tab + 1;
    }
    out.push_back(fields);
    start = end + 1;
  }
  return out;
}

// One HTTP request as the server saw it.
struct Request {
  std::string scheme, method, path, accept, contentType, charsets, body;
};

inline std::string FromHex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

inline std::vector<Request> Requests() {
  std::vector<Request> out;
  for (const auto& r : ReadRecords("requests.log")) {
    if (r.size() != 7) continue;
    out.push_back({r[0], r[1], r[2], r[3], r[4], r[5], FromHex(r[6])});
  }
  return out;
}

// (responder, name) per DNS query: responder is "system" or "fallback".
inline std::vector<std::pair<std::string, std::string>> DnsQueries() {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& r : ReadRecords("dns.log"))
    if (r.size() == 2) out.emplace_back(r[0], r[1]);
  return out;
}

// The requests that arrived since it was made.
class RequestWatch {
 public:
  RequestWatch() : seen_(Requests().size()) {}
  std::vector<Request> New() const {
    std::vector<Request> all = Requests();
    return std::vector<Request>(all.begin() + std::min(seen_, all.size()), all.end());
  }

 private:
  size_t seen_;
};

class DnsWatch {
 public:
  DnsWatch() : seen_(DnsQueries().size()) {}
  // The responders asked for names beginning with host, in order.
  std::vector<std::string> Asked(const std::string& host) const {
    std::vector<std::string> out;
    auto all = DnsQueries();
    for (size_t i = std::min(seen_, all.size()); i < all.size(); ++i)
      if (all[i].second.compare(0, host.size(), host) == 0) out.push_back(all[i].first);
    return out;
  }

 private:
  size_t seen_;
};

}  // namespace loopback
