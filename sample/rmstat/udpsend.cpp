#include "udpsend.h"

#include <windows.h>

#include <atomic>
#include <cstring>

namespace {

// Shared between the caller and the lookup thread; the last one to let go deletes it.
struct Lookup {
  std::atomic<int> refs{2};
  std::string host;
  HANDLE done = nullptr;
  HMODULE self = nullptr;
  bool ok = false;
  in_addr addr{};
};

void Release(Lookup* l) {
  if (--l->refs == 0) {
    CloseHandle(l->done);
    delete l;
  }
}

// Holds its own reference on this library, so the library stays mapped when the caller
// frees it while a slow lookup is still running.
DWORD WINAPI LookupThread(void* param) {
  auto* l = static_cast<Lookup*>(param);
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* res = nullptr;
  if (getaddrinfo(l->host.c_str(), nullptr, &hints, &res) == 0 && res) {
    l->addr = reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr;
    l->ok = true;
    freeaddrinfo(res);
  }
  SetEvent(l->done);
  HMODULE self = l->self;
  Release(l);
  FreeLibraryAndExitThread(self, 0);
  return 0;
}

bool LookupName(const std::string& host, in_addr* out, unsigned timeoutMs) {
  auto* l = new Lookup;
  l->host = host;
  l->done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!l->done ||
      !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCWSTR>(&LookupThread), &l->self)) {
    if (l->done) CloseHandle(l->done);
    delete l;
    return false;
  }
  HANDLE t = CreateThread(nullptr, 0, &LookupThread, l, 0, nullptr);
  if (!t) {
    FreeLibrary(l->self);
    l->refs = 1;
    Release(l);
    return false;
  }
  CloseHandle(t);
  bool ok = WaitForSingleObject(l->done, timeoutMs) == WAIT_OBJECT_0 && l->ok;
  if (ok) *out = l->addr;
  Release(l);
  return ok;
}

}  // namespace

bool ResolveIPv4(const std::string& host, int port, sockaddr_in* out, unsigned timeoutMs) {
  if (host.empty() || port <= 0 || port > 65535) return false;
  std::memset(out, 0, sizeof *out);
  out->sin_family = AF_INET;
  out->sin_port = htons(static_cast<u_short>(port));
  if (inet_pton(AF_INET, host.c_str(), &out->sin_addr) == 1) return true;
  return LookupName(host, &out->sin_addr, timeoutMs);
}

bool SendDatagram(const sockaddr_in& to, const std::string& payload) {
  SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) return false;
  int sent = sendto(s, payload.data(), static_cast<int>(payload.size()), 0,
                    reinterpret_cast<const sockaddr*>(&to), sizeof to);
  closesocket(s);
  return sent == static_cast<int>(payload.size());
}
