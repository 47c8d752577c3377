// The HTTP report of the statistics library: one POST with short timeouts.
#pragma once
#include <string>

enum class PostResult { kAccepted, kRejected, kUnreachable };

// POSTs body to url (JSON content type when json is true); kAccepted for a 2xx answer,
// kRejected for any other answer, kUnreachable when no answer came in time.
PostResult HttpPost(const std::string& url, const std::string& body, bool json,
                    const std::string& proxy);
// Process-wide setup (stat_init, or the first post) and teardown (stat_close) of the
// HTTP library, serialised by a lock of their own.
bool HttpGlobalInit();
void HttpGlobalCleanup();
