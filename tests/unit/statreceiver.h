// Loopback stand-ins for the statistics server, run inside the test program: a UDP socket
// that collects report datagrams and a one-thread HTTP server answering with a chosen status.
// They listen on 127.0.0.0/8 only.
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace statrx {

struct Winsock {
  Winsock() { WSAStartup(MAKEWORD(2, 2), &data); }
  ~Winsock() { WSACleanup(); }
  WSADATA data;
};

inline sockaddr_in Address(const std::string& ip, int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<u_short>(port));
  inet_pton(AF_INET, ip.c_str(), &a.sin_addr);
  return a;
}

inline int BoundPort(SOCKET s) {
  sockaddr_in a{};
  int len = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  return ntohs(a.sin_port);
}

// A loopback address of its own for this run (127.x.y.z), so that fixed ports do not meet
// other programs' sockets.
inline std::string PrivateLoopback() {
  unsigned v = GetCurrentProcessId() * 2654435761u ^ GetTickCount();
  return "127." + std::to_string(1 + v % 250) + "." + std::to_string((v >> 8) % 256) + "." +
         std::to_string(1 + (v >> 16) % 250);
}

class UdpReceiver {
 public:
  UdpReceiver(const std::string& ip, int port) : ip_(ip) {
    s_ = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in a = Address(ip, port);
    ok_ = s_ != INVALID_SOCKET && bind(s_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    if (ok_) port_ = BoundPort(s_);
  }
  ~UdpReceiver() {
    if (s_ != INVALID_SOCKET) closesocket(s_);
  }
  bool ok() const { return ok_; }
  int port() const { return port_; }
  const std::string& ip() const { return ip_; }

  // Datagrams until count have come or nothing came for quietMs.
  std::vector<std::string> Receive(size_t count, int quietMs = 5000) {
    std::vector<std::string> out;
    DWORD timeout = quietMs;
    setsockopt(s_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    char buf[2048];
    while (out.size() < count) {
      int n = recv(s_, buf, sizeof buf, 0);
      if (n <= 0) break;
      out.emplace_back(buf, n);
    }
    return out;
  }

 private:
  std::string ip_;
  SOCKET s_ = INVALID_SOCKET;
  bool ok_ = false;
  int port_ = 0;
};

struct HttpRequest {
  std::string head;  // request line and headers
  std::string body;
};

class HttpServer {
 public:
  explicit HttpServer(int status) : status_(status) {
    listen_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a = Address("127.0.0.1", 0);
    ok_ = listen_ != INVALID_SOCKET && bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
          listen(listen_, 4) == 0;
    if (!ok_) return;
    port_ = BoundPort(listen_);
    thread_ = std::thread([this] { Serve(); });
  }
  ~HttpServer() {
    stop_ = true;
    closesocket(listen_);
    if (thread_.joinable()) thread_.join();
  }
  bool ok() const { return ok_; }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  std::vector<HttpRequest> requests() {
    std::lock_guard<std::mutex> g(mu_);
    return requests_;
  }

 private:
  void Serve() {
    while (!stop_) {
      SOCKET c = accept(listen_, nullptr, nullptr);
      if (c == INVALID_SOCKET) return;
      HttpRequest r = ReadRequest(c);
      {
        std::lock_guard<std::mutex> g(mu_);
        requests_.push_back(r);
      }
      std::string reply = "HTTP/1.1 " + std::to_string(status_) +
                          " Status\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
      send(c, reply.data(), static_cast<int>(reply.size()), 0);
      shutdown(c, SD_SEND);
      closesocket(c);
    }
  }
  static HttpRequest ReadRequest(SOCKET c) {
    DWORD timeout = 5000;
    setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    std::string data;
    char buf[4096];
    size_t headEnd = std::string::npos, want = 0;
    for (;;) {
      if (headEnd == std::string::npos) {
        headEnd = data.find("\r\n\r\n");
        if (headEnd != std::string::npos) {
          std::string lower;
          for (char ch : data.substr(0, headEnd)) lower += static_cast<char>(tolower(ch));
          size_t cl = lower.find("content-length:");
          want = cl == std::string::npos ? 0 : std::stoul(lower.substr(cl + 15));
        }
      }
      if (headEnd != std::string::npos && data.size() >= headEnd + 4 + want) break;
      int n = recv(c, buf, sizeof buf, 0);
      if (n <= 0) break;
      data.append(buf, n);
    }
    HttpRequest r;
    if (headEnd == std::string::npos) {
      r.head = data;
    } else {
      r.head = data.substr(0, headEnd);
      r.body = data.substr(headEnd + 4);
    }
    return r;
  }

  int status_;
  SOCKET listen_ = INVALID_SOCKET;
  bool ok_ = false;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex mu_;
  std::vector<HttpRequest> requests_;
};

// A loopback port with nobody listening: bound, then released.
inline int ClosedPort() {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a = Address("127.0.0.1", 0);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  int port = BoundPort(s);
  closesocket(s);
  return port;
}

}  // namespace statrx
