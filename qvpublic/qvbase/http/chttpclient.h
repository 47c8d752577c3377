// One JSON POST over libcurl's easy interface: fixed headers, no certificate checks,
// TCP keep-alive, IPv4 only, and one retry through fallback resolvers when the host
// name does not resolve.
#pragma once
#include <curl/curl.h>

#include <cstddef>
#include <cstdint>
#include <string>

class CHttpClient {
 public:
  // Five public resolvers, in the comma-separated form CURLOPT_DNS_SERVERS takes.
  static const char kPublicResolvers[];

  // Which name servers a request asks.
  struct Resolvers {
    // Asked before any resolution failure; empty means the system's own configuration
    // (the shipped behaviour). Tests point it at a loopback stand-in so that no query
    // leaves the machine.
    std::string primary;
    // Asked from the first resolution failure on.
    std::string fallback = kPublicResolvers;
  };

  CHttpClient(bool debug, bool dnsFallback, int32_t connectTimeout, int32_t totalTimeout);
  CHttpClient(bool debug, bool dnsFallback, int32_t connectTimeout, int32_t totalTimeout,
              Resolvers resolvers);
  virtual ~CHttpClient();

  // Performs the request and returns libcurl's result code (0 on success, 2 when no
  // easy handle can be made). The response body is appended to response.
  int Post(const std::string& url, const std::string& body, std::string& response);

  // Whether this object has switched to the fallback resolvers.
  bool UsesFallbackResolvers() const { return dnsFallback_; }

  // libcurl callbacks (public so that their contract can be checked directly).
  static size_t OnWrite(char* data, size_t size, size_t count, void* response);
  static int OnDebug(CURL* handle, curl_infotype type, char* data, size_t size, void* user);

 private:
  void SetOptions(CURL* handle, curl_slist* headers, const std::string& url,
                  const std::string& body, std::string& response) const;

  bool debug_;
  bool dnsFallback_;
  int32_t connectTimeout_;
  int32_t totalTimeout_;
  Resolvers resolvers_;
};
