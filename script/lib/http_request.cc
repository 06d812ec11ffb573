// URL parsing and request text for the HTTP client.
#include "script/lib/http_request.h"

#include "platform/ascii.h"

namespace script {

bool HasHttpScheme(std::string_view text) {
  return platform::StartsWithIgnoreCase(text, "http://");
}

bool ParseHttpUrl(std::string_view url, HttpUrl* parsed) {
  if (url.size() > kMaxHttpUrl) return false;
  for (char c : url) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
  }
  if (HasHttpScheme(url)) url.remove_prefix(7);
  size_t host_end = url.find_first_of("/:");
  if (host_end == std::string_view::npos) host_end = url.size();
  if (host_end == 0) return false;
  parsed->host.assign(url.substr(0, host_end));
  url.remove_prefix(host_end);
  parsed->port = 80;
  if (!url.empty() && url[0] == ':') {
    size_t i = 1;
    uint32_t port = 0;
    while (i < url.size() && url[i] >= '0' && url[i] <= '9' && port <= 65535) {
      port = port * 10 + static_cast<uint32_t>(url[i] - '0');
      ++i;
    }
    if (i == 1 || port == 0 || port > 65535) return false;
    parsed->port = static_cast<uint16_t>(port);
    url.remove_prefix(i);
  }
  if (!url.empty() && url[0] != '/') return false;
  parsed->path.assign(url);
  return true;
}

bool FormatHttpRequest(std::string_view method, std::string_view path, std::string* request) {
  request->clear();
  request->append(method).append(" ").append(path).append(" HTTP/1.0\r\n");
  request->append("Accept: */*\r\n");
  request->append("User-Agent: ").append(kHttpUserAgent).append("\r\n\r\n");
  return request->size() <= kMaxHttpRequest;
}

}  // namespace script
