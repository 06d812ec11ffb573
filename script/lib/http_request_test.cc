#include "script/lib/http_request.h"

#include <gtest/gtest.h>

namespace script {
namespace {

TEST(HttpRequest, UrlForms) {
  struct Case {
    const char* url;
    const char* host;
    int port;
    const char* path;
  } cases[] = {
      {"http://example.org/index.txt", "example.org", 80, "/index.txt"},
      {"HTTP://Example.org:8080/a/b?x=1&y=%20", "Example.org", 8080, "/a/b?x=1&y=%20"},
      {"example.org/index.txt", "example.org", 80, "/index.txt"},
      {"127.0.0.1:3500", "127.0.0.1", 3500, ""},
      {"host", "host", 80, ""},
      {"host/with blank", "host", 80, "/with blank"},
  };
  for (const Case& c : cases) {
    HttpUrl url;
    ASSERT_TRUE(ParseHttpUrl(c.url, &url)) << c.url;
    EXPECT_EQ(url.host, c.host);
    EXPECT_EQ(url.port, c.port);
    EXPECT_EQ(url.path, c.path);
  }
  for (const char* bad :
       {"", "http://", "/relative/path", "http:///x", "host:/x", "host:0/x", "host:65536/x",
        "host:80x/y", "https://host/x", "host/a\r\nX: y", "host/\x7f"}) {
    HttpUrl url;
    EXPECT_FALSE(ParseHttpUrl(bad, &url)) << bad;
  }
  HttpUrl url;
  std::string longest = "h/" + std::string(kMaxHttpUrl - 2, 'p');
  EXPECT_TRUE(ParseHttpUrl(longest, &url));
  EXPECT_FALSE(ParseHttpUrl(longest + "p", &url));
}

TEST(HttpRequest, GeneratedRequestText) {
  std::string request;
  ASSERT_TRUE(FormatHttpRequest("GET", "/index.txt", &request));
  EXPECT_EQ(request,
            "GET /index.txt HTTP/1.0\r\nAccept: */*\r\nUser-Agent: Tessel/0.7.1.0\r\n\r\n");
  ASSERT_TRUE(FormatHttpRequest("HEAD", "/", &request));
  EXPECT_EQ(request, "HEAD / HTTP/1.0\r\nAccept: */*\r\nUser-Agent: Tessel/0.7.1.0\r\n\r\n");
  // The request buffer holds 511 characters; a longer request is refused, not cut.
  const size_t overhead = request.size() - 1 - 4;  // less "/" and "HEAD"
  EXPECT_TRUE(
      FormatHttpRequest("GET", "/" + std::string(kMaxHttpRequest - overhead - 4, 'x'), &request));
  EXPECT_EQ(request.size(), kMaxHttpRequest);
  EXPECT_FALSE(
      FormatHttpRequest("GET", "/" + std::string(kMaxHttpRequest - overhead - 3, 'x'), &request));
}

}  // namespace
}  // namespace script
