// rmstat.dll: the sample product's statistics library. Install, uninstall, session and
// action reports go as UDP datagrams (small JSON documents) to the configured addresses;
// stat_http_post sends a JSON report by HTTP POST. Every call returns within short
// timeouts; nothing is stored or retried.
#include <winsock2.h>
#include <windows.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "httppost.h"
#include "stat/rmstatapi.h"
#include "statreport.h"
#include "udpsend.h"

// Exported through rmstat.def only (plain names, fixed ordinals).
#define STAT_EXPORT extern "C"

namespace {

const unsigned kLookupTimeoutMs = 2000;

struct Endpoint {
  std::string host;
  int port = 0;
  bool set() const { return !host.empty() && port > 0; }
};

// Library state; the installer calls from its window thread and from its statistics worker.
struct State {
  std::mutex mu;
  StatIdentity id;
  int install_kind = 0;
  Endpoint proxy, dispatch, online, action, install, loginout;
  bool winsock = false;
};

State& S() {
  static State s;
  return s;
}

void SetEndpoint(Endpoint State::*which, const char* host, int port) {
  std::lock_guard<std::mutex> g(S().mu);
  (S().*which).host = host ? host : "";
  (S().*which).port = port;
}

// Snapshot of the identity and an endpoint (the first one that is set), taken under the lock.
bool Target(std::initializer_list<Endpoint State::*> order, StatIdentity* id, Endpoint* to) {
  std::lock_guard<std::mutex> g(S().mu);
  *id = S().id;
  for (auto which : order) {
    if ((S().*which).set()) {
      *to = S().*which;
      return true;
    }
  }
  return false;
}

bool Send(const Endpoint& to, const std::string& doc) {
  sockaddr_in addr;
  return ResolveIPv4(to.host, to.port, &addr, kLookupTimeoutMs) && SendDatagram(addr, doc);
}

bool SendSession(const char* event, std::initializer_list<Endpoint State::*> order,
                 const std::string& extra = std::string()) {
  StatIdentity id;
  Endpoint to;
  if (!Target(order, &id, &to)) return false;
  std::string doc = SessionReportJson(event, id);
  if (!extra.empty()) doc.insert(doc.size() - 1, extra);
  return Send(to, doc);
}

bool EnsureWinsock() {
  std::lock_guard<std::mutex> g(S().mu);
  if (!S().winsock) {
    WSADATA wsa;
    S().winsock = WSAStartup(MAKEWORD(2, 2), &wsa) == 0;
  }
  return S().winsock;
}

}  // namespace

STAT_EXPORT BOOL WINAPI stat_init() {
  return EnsureWinsock() && HttpGlobalInit() ? TRUE : FALSE;
}

STAT_EXPORT void WINAPI stat_proxy(const char* host, int port) {
  SetEndpoint(&State::proxy, host, port);
}
STAT_EXPORT void WINAPI stat_dispatch_addr(const char* host, int port) {
  SetEndpoint(&State::dispatch, host, port);
}
STAT_EXPORT void WINAPI stat_online_addr(const char* host, int port) {
  SetEndpoint(&State::online, host, port);
}
STAT_EXPORT void WINAPI stat_action_addr(const char* host, int port) {
  SetEndpoint(&State::action, host, port);
}
STAT_EXPORT void WINAPI stat_install_addr(const char* host, int port) {
  SetEndpoint(&State::install, host, port);
}
STAT_EXPORT void WINAPI stat_loginout_addr(const char* host, int port) {
  SetEndpoint(&State::loginout, host, port);
}

STAT_EXPORT void WINAPI stat_unionid(unsigned short unionId) {
  std::lock_guard<std::mutex> g(S().mu);
  S().id.union_id = unionId;
}
STAT_EXPORT void WINAPI stat_appid(unsigned char appId) {
  std::lock_guard<std::mutex> g(S().mu);
  S().id.app_id = appId;
}
STAT_EXPORT void WINAPI stat_level(int level) {
  std::lock_guard<std::mutex> g(S().mu);
  S().id.level = level;
}
STAT_EXPORT void WINAPI stat_version(const char* dotted) {
  int v[4];
  if (!ParseDottedVersion(dotted, v)) return;
  std::lock_guard<std::mutex> g(S().mu);
  for (int i = 0; i < 4; ++i) S().id.version[i] = v[i];
}
STAT_EXPORT void WINAPI stat_version_ex(int major, int minor, int build, int revision) {
  std::lock_guard<std::mutex> g(S().mu);
  S().id.version[0] = major;
  S().id.version[1] = minor;
  S().id.version[2] = build;
  S().id.version[3] = revision;
}

STAT_EXPORT void WINAPI stat_online() {
  if (EnsureWinsock()) SendSession("online", {&State::online, &State::loginout, &State::dispatch});
}
STAT_EXPORT void WINAPI stat_offline() {
  if (EnsureWinsock()) SendSession("offline", {&State::online, &State::loginout, &State::dispatch});
}

STAT_EXPORT void WINAPI stat_mutilaction(const int* ids, int count, BOOL flag) {
  if (!ids || count <= 0 || !EnsureWinsock()) return;
  StatIdentity id;
  Endpoint to;
  if (!Target({&State::action, &State::dispatch}, &id, &to)) return;
  Send(to, ActionReportJson(id, std::vector<int>(ids, ids + count), flag != FALSE));
}
STAT_EXPORT void WINAPI stat_action(int actionId) {
  stat_mutilaction(&actionId, 1, FALSE);
}

// Kind 1 new install, 3 install over a recorded union id, 2 uninstall; 1 when the report
// was handed to the network, 0 when it could not be.
STAT_EXPORT int WINAPI stat_install(int kind) {
  if (!EnsureWinsock()) return 0;
  StatIdentity id;
  Endpoint to;
  {
    std::lock_guard<std::mutex> g(S().mu);
    S().install_kind = kind;
  }
  if (!Target({&State::install}, &id, &to)) return 0;
  return Send(to, InstallReportJson(kind == 2 ? "uninstall" : "install", id, kind)) ? 1 : 0;
}
STAT_EXPORT int WINAPI stat_app_install(int kind) {
  if (!EnsureWinsock()) return 0;
  StatIdentity id;
  Endpoint to;
  if (!Target({&State::install}, &id, &to)) return 0;
  return Send(to, InstallReportJson("app_install", id, kind)) ? 1 : 0;
}

// Ends the session: a last datagram to the dispatch address (when one is set) and the
// release of the network libraries; waitMs bounds nothing more here, sends do not queue.
STAT_EXPORT void WINAPI stat_close(int waitMs) {
  if (EnsureWinsock())
    SendSession("close", {&State::dispatch}, ",\"wait\":" + std::to_string(waitMs));
  HttpGlobalCleanup();
  std::lock_guard<std::mutex> g(S().mu);
  if (S().winsock) WSACleanup();
  S().winsock = false;
}

// Posts body (length bytes; a null body sends the install report document) to url.
// 1: the server accepted it (2xx); 0: it answered otherwise; -1: no answer in time.
STAT_EXPORT int WINAPI stat_http_post(const char* url, const char* body, int length, BOOL json) {
  if (!url || !*url) return -1;
  std::string doc, proxy;
  {
    std::lock_guard<std::mutex> g(S().mu);
    if (body) doc.assign(body, length > 0 ? static_cast<size_t>(length) : strlen(body));
    else doc = InstallReportJson("install", S().id, S().install_kind);
    if (S().proxy.set()) proxy = S().proxy.host + ":" + std::to_string(S().proxy.port);
  }
  switch (HttpPost(url, doc, json != FALSE, proxy)) {
    case PostResult::kAccepted: return 1;
    case PostResult::kRejected: return 0;
    default: return -1;
  }
}
