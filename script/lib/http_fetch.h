// HttpFetch, the operation behind every HTTP built-in: one HTTP/1.0 request over a
// blocking Winsock connection, its response read into the request's targets, a
// Location followed at once.
#pragma once

#include <cstdint>
#include <string_view>

#include "script/lib/http_response.h"

namespace script {

// Redirects followed before a fetch gives up (each one nests a further fetch).
inline constexpr int kMaxHttpRedirects = 10;
// A server silent for this long has stopped: the receive (or send) fails. The
// operating system's own time-outs still apply to connecting.
inline constexpr uint32_t kHttpIdleTimeoutMs = 60 * 1000;

struct HttpRequest {
  std::string_view url;
  // Sent instead of the generated request when set (may be empty: nothing is sent).
  const std::string_view* custom_request = nullptr;
  HttpTargets targets;
  uint32_t idle_timeout_ms = kHttpIdleTimeoutMs;
  int redirects_left = kMaxHttpRedirects;
};

// One of HttpResult. Winsock must have been started.
int HttpFetch(const HttpRequest& request);

// The local IPv4 address (network order) of the last connection made, 0 before any.
uint32_t LastLocalAddress();

}  // namespace script
