// The HTTP report of the statistics library: one POST with short timeouts.
#pragma once
#include <string>

enum class PostResult { kAccepted, kRejected, kUnreachable };

// POSTs body to url (JSON content type when json is true); kAccepted for a 2xx answer,
// kRejected for any other answer, kUnreachable when no answer came in time.
PostResult HttpPost(const std::string& url, const std::string& body, bool json,
                    const std::string& proxy);
// Process-wide setup and teardown of the HTTP library (not thread-safe; done in
// stat_init and stat_close).
bool HttpGlobalInit();
void HttpGlobalCleanup();
