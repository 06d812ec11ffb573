#include "script/lib/http_fetch.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/winsock.h"

namespace script {
namespace {

// A loopback server that answers each connection with `answer(request)` after reading
// the request (up to its blank line, or until the client stops sending), and keeps the
// requests it received.
class LoopbackServer {
 public:
  explicit LoopbackServer(std::function<std::string(const std::string&)> answer)
      : answer_(std::move(answer)) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener_, 16);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~LoopbackServer() {
    stopping_ = true;
    thread_.join();
    close(listener_);
  }

  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  std::vector<std::string> requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

 private:
  void Serve() {
    while (!stopping_) {
      pollfd ready{listener_, POLLIN, 0};
      if (poll(&ready, 1, 50) <= 0) continue;
      int client = accept(listener_, nullptr, nullptr);
      if (client < 0) continue;
      std::string request;
      char chunk[4096];
      while (request.find("\r\n\r\n") == std::string::npos) {
        pollfd readable{client, POLLIN, 0};
        if (poll(&readable, 1, 300) <= 0) break;
        ssize_t n = recv(client, chunk, sizeof chunk, 0);
        if (n <= 0) break;
        request.append(chunk, static_cast<size_t>(n));
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
      }
      std::string reply = answer_(request);
      send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
      close(client);
    }
  }

  std::function<std::string(const std::string&)> answer_;
  int listener_;
  int port_;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::string> requests_;
};

class HttpFetchTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(platform::WSAStartup(platform::MakeWord(1, 1), nullptr), 0); }
  void TearDown() override { platform::WSACleanup(); }

  static int Fetch(const std::string& url, std::optional<std::string>* body, bool head = false,
                   const std::string_view* custom = nullptr) {
    HttpRequest request;
    request.url = url;
    request.custom_request = custom;
    request.targets.body_sink = body;
    request.targets.head = head;
    return HttpFetch(request);
  }
};

TEST_F(HttpFetchTest, SendsTheExactRequestAndKeepsTheLocalAddress) {
  LoopbackServer server([](const std::string&) { return "HTTP/1.0 200 OK\r\n\r\nhello"; });
  std::optional<std::string> body;
  ASSERT_EQ(Fetch(server.Url("/dir/file.txt?q=a%20b"), &body), kHttpOk);
  EXPECT_EQ(body, "hello");
  std::optional<std::string> head_body;
  ASSERT_EQ(Fetch(server.Url("/"), &head_body, true), kHttpOk);
  const std::string_view custom = "POST /form HTTP/1.0\r\nContent-length: 3\r\n\r\nx=1";
  std::optional<std::string> custom_body;
  ASSERT_EQ(Fetch(server.Url(""), &custom_body, false, &custom), kHttpOk);
  const std::string_view nothing;
  ASSERT_EQ(Fetch(server.Url(""), &custom_body, false, &nothing), kHttpOk);

  std::vector<std::string> requests = server.requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(
      requests[0],
      "GET /dir/file.txt?q=a%20b HTTP/1.0\r\nAccept: */*\r\nUser-Agent: Tessel/0.7.1.0\r\n\r\n");
  EXPECT_EQ(requests[1], "HEAD / HTTP/1.0\r\nAccept: */*\r\nUser-Agent: Tessel/0.7.1.0\r\n\r\n");
  EXPECT_EQ(requests[2], custom);
  EXPECT_EQ(requests[3], "");
  uint32_t local = LastLocalAddress();
  EXPECT_EQ(local, htonl(INADDR_LOOPBACK));
}

TEST_F(HttpFetchTest, FailuresBeforeTheResponse) {
  std::optional<std::string> body;
  EXPECT_EQ(Fetch("http://127.0.0.1", &body), kHttpFailed);  // no path, no custom request
  EXPECT_EQ(Fetch("http:///x", &body), kHttpFailed);
  // A label longer than 63 characters fails in the resolver itself: no query leaves
  // the machine.
  EXPECT_EQ(Fetch("http://" + std::string(64, 'a') + ".invalid/x", &body), kHttpNoHost);
  int unused_port;
  {
    LoopbackServer closed([](const std::string&) { return ""; });
    unused_port = std::stoi(closed.Url("").substr(17));
  }
  EXPECT_EQ(Fetch("http://127.0.0.1:" + std::to_string(unused_port) + "/x", &body),
            kHttpNoConnection);
  EXPECT_FALSE(body);
}

TEST_F(HttpFetchTest, RedirectsAreFollowedUpToABound) {
  std::string self;
  LoopbackServer loop([&self](const std::string& request) {
    if (request.find("GET /end ") == 0) return std::string("HTTP/1.0 200 OK\r\n\r\narrived");
    return "HTTP/1.0 302 Found\r\nLocation: " + self + "\r\n\r\n";
  });
  self = loop.Url("/again");
  std::optional<std::string> body;
  EXPECT_EQ(Fetch(loop.Url("/again"), &body), kHttpFailed);
  EXPECT_EQ(loop.requests().size(), static_cast<size_t>(kMaxHttpRedirects + 1));

  self = loop.Url("/end");
  EXPECT_EQ(Fetch(loop.Url("/start"), &body), kHttpOk);
  EXPECT_EQ(body, "arrived");

  self = "/relative";
  body.reset();
  EXPECT_EQ(Fetch(loop.Url("/start"), &body), kHttpFailed);
  EXPECT_FALSE(body);
}

TEST_F(HttpFetchTest, ASilentServerTimesOut) {
  int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  listen(listener, 4);  // accepted by the kernel, never answered
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
  std::optional<std::string> body;
  HttpRequest request;
  std::string url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/x";
  request.url = url;
  request.targets.body_sink = &body;
  request.idle_timeout_ms = 300;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(HttpFetch(request), kHttpFailed);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  close(listener);
}

}  // namespace
}  // namespace script
