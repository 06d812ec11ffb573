// The request side of the scripts' HTTP/1.0 client: the URL form it accepts and the
// request text it sends.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace script {

inline constexpr char kHttpUserAgent[] = "Tessel/0.7.1.0";
// URLs are held in a 512-byte buffer: at most 510 characters.
inline constexpr size_t kMaxHttpUrl = 510;
// The generated request, terminator included, must fit in 512 bytes.
inline constexpr size_t kMaxHttpRequest = 511;

struct HttpUrl {
  std::string host;
  uint16_t port = 80;
  std::string path;  // from the first "/" on, query included; may be empty
};

// Splits "[http://]host[:port][/path]". False when there is no host, the URL is too
// long, the port is not a number from 1 to 65535, something other than a path follows
// the port, or the URL holds a control character (which would split the request).
bool ParseHttpUrl(std::string_view url, HttpUrl* parsed);

// "METHOD PATH HTTP/1.0" with the Accept and User-Agent lines; false when it would not
// fit the request buffer.
bool FormatHttpRequest(std::string_view method, std::string_view path, std::string* request);

// True when `text` begins with "http://" in any case.
bool HasHttpScheme(std::string_view text);

}  // namespace script
