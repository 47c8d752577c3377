#include "httppost.h"

#include <curl/curl.h>

#include <mutex>

namespace {

const long kConnectTimeoutMs = 3000;
const long kTotalTimeoutMs = 5000;
bool g_initialised = false;
// curl_global_init and _cleanup are not thread-safe; reports may come from two threads.
std::mutex g_global_lock;

size_t Discard(char*, size_t size, size_t n, void*) { return size * n; }

}  // namespace

bool HttpGlobalInit() {
  std::lock_guard<std::mutex> g(g_global_lock);
  if (!g_initialised) g_initialised = curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK;
  return g_initialised;
}

void HttpGlobalCleanup() {
  std::lock_guard<std::mutex> g(g_global_lock);
  if (g_initialised) curl_global_cleanup();
  g_initialised = false;
}

PostResult HttpPost(const std::string& url, const std::string& body, bool json,
                    const std::string& proxy) {
  if (url.empty() || !HttpGlobalInit()) return PostResult::kUnreachable;
  CURL* curl = curl_easy_init();
  if (!curl) return PostResult::kUnreachable;
  curl_slist* headers = curl_slist_append(
      nullptr, json ? "Content-Type: application/json" : "Content-Type: application/octet-stream");
  headers = curl_slist_append(headers, "Expect:");
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_POST, 1L);
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
  curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, kTotalTimeoutMs);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Discard);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "rmstat/1.0");
  if (!proxy.empty()) curl_easy_setopt(curl, CURLOPT_PROXY, proxy.c_str());
  else curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
  CURLcode rc = curl_easy_perform(curl);
  long status = 0;
  if (rc == CURLE_OK) curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  if (rc != CURLE_OK) return PostResult::kUnreachable;
  return status >= 200 && status < 300 ? PostResult::kAccepted : PostResult::kRejected;
}
