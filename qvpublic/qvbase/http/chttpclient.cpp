#include "http/chttpclient.h"

#include <memory>

#include "log/qvbaselog.h"

// Two each of the large anycast services and one more operator: any of them answers
// when the local resolver does not.
const char CHttpClient::kPublicResolvers[] = "8.8.8.8,8.8.4.4,1.1.1.1,1.0.0.1,208.67.222.222";

namespace {

struct EasyDeleter {
  void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct SlistDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

curl_slist* JsonHeaders() {
  curl_slist* list = nullptr;
  for (const char* h : {"Accept: application/json", "Content-Type: application/json",
                        "charsets: utf-8"}) {
    curl_slist* next = curl_slist_append(list, h);
    if (!next) break;  // out of memory: send what we have rather than nothing
    list = next;
  }
  return list;
}

}  // namespace

CHttpClient::CHttpClient(bool debug, bool dnsFallback, int32_t connectTimeout,
                         int32_t totalTimeout)
    : CHttpClient(debug, dnsFallback, connectTimeout, totalTimeout, Resolvers()) {}

CHttpClient::CHttpClient(bool debug, bool dnsFallback, int32_t connectTimeout,
                         int32_t totalTimeout, Resolvers resolvers)
    : debug_(debug),
      dnsFallback_(dnsFallback),
      connectTimeout_(connectTimeout),
      totalTimeout_(totalTimeout),
      resolvers_(std::move(resolvers)) {}

CHttpClient::~CHttpClient() = default;

size_t CHttpClient::OnWrite(char* data, size_t size, size_t count, void* response) {
  if (!response) return 0;  // libcurl aborts the transfer
  static_cast<std::string*>(response)->append(data, size * count);
  return size * count;
}

int CHttpClient::OnDebug(CURL*, curl_infotype type, char* data, size_t size, void*) {
  const char* format = nullptr;
  switch (type) {
    case CURLINFO_TEXT: format = "[TEXT] {}"; break;
    case CURLINFO_HEADER_IN: format = "[HEADER_IN] {}"; break;
    case CURLINFO_HEADER_OUT: format = "[HEADER_OUT] {}"; break;
    case CURLINFO_DATA_IN: format = "[DATA_IN] {}"; break;
    case CURLINFO_DATA_OUT: format = "[DATA_OUT] {}"; break;
    default: return 0;  // TLS records are not worth a line
  }
  QVLOG_INFO(format, std::string(data, size));
  return 0;
}

void CHttpClient::SetOptions(CURL* h, curl_slist* headers, const std::string& url,
                             const std::string& body, std::string& response) const {
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
  // Reports must get through behind intercepting proxies and on machines with stale
  // root stores; the endpoints carry nothing secret.
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 0L);
  if (dnsFallback_) {
    curl_easy_setopt(h, CURLOPT_DNS_SERVERS, resolvers_.fallback.c_str());
  } else if (!resolvers_.primary.empty()) {
    curl_easy_setopt(h, CURLOPT_DNS_SERVERS, resolvers_.primary.c_str());
  }
  curl_easy_setopt(h, CURLOPT_TCP_KEEPALIVE, 1L);
  curl_easy_setopt(h, CURLOPT_TCP_KEEPIDLE, 30L);
  curl_easy_setopt(h, CURLOPT_TCP_KEEPINTVL, 7L);
  curl_easy_setopt(h, CURLOPT_POST, 1L);
  curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.c_str());  // up to the first zero byte
  curl_easy_setopt(h, CURLOPT_READFUNCTION, nullptr);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &CHttpClient::OnWrite);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &response);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, static_cast<long>(connectTimeout_));
  curl_easy_setopt(h, CURLOPT_TIMEOUT, static_cast<long>(totalTimeout_));
  curl_easy_setopt(h, CURLOPT_IPRESOLVE, static_cast<long>(CURL_IPRESOLVE_V4));
}

int CHttpClient::Post(const std::string& url, const std::string& body, std::string& response) {
  std::unique_ptr<CURL, EasyDeleter> handle(curl_easy_init());
  if (!handle) return CURLE_FAILED_INIT;
  CURL* h = handle.get();
  if (debug_) curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, &CHttpClient::OnDebug);

  std::unique_ptr<curl_slist, SlistDeleter> headers(JsonHeaders());
  SetOptions(h, headers.get(), url, body, response);

  CURLcode result = curl_easy_perform(h);
  // Only a name that did not resolve is tried again, and only once: with the fallback
  // resolvers, which this object then keeps for every later request.
  while (result == CURLE_COULDNT_RESOLVE_HOST) {
    if (dnsFallback_) break;
    dnsFallback_ = true;
    curl_easy_setopt(h, CURLOPT_DNS_SERVERS, resolvers_.fallback.c_str());
    result = curl_easy_perform(h);
  }
  return result;
}
