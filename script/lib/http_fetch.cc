// Connecting, sending the request and handing the socket to the response reader.
#include "script/lib/http_fetch.h"

#include <atomic>
#include <cstring>
#include <string>

#include "platform/winsock.h"
#include "script/lib/http_request.h"

namespace script {
namespace {

std::atomic<uint32_t> last_local_address{0};

// Owns the connection for the length of one fetch, redirected fetches included.
class Connection : public ResponseReader {
 public:
  Connection() : socket_(platform::CreateSocket(platform::kAfInet, platform::kSockStream, 0)) {}
  ~Connection() override {
    if (valid()) platform::CloseSocket(socket_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool valid() const { return socket_ != platform::kInvalidSocket; }
  platform::Socket socket() const { return socket_; }

  int Receive(char* buffer, int size) override {
    int received = platform::Recv(socket_, buffer, size, 0);
    return received == platform::kSocketError ? -1 : received;
  }

  bool SendAll(std::string_view data) {
    while (!data.empty()) {
      int sent = platform::Send(socket_, data.data(), static_cast<int>(data.size()), 0);
      if (sent <= 0) return false;
      data.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
  }

 private:
  platform::Socket socket_;
};

// The first address of the host: a dotted address is looked up by address, anything
// else by name.
bool ResolveHost(const std::string& host, uint32_t* address) {
  uint32_t dotted = platform::InetAddr(host.c_str());
  platform::HostEnt* entry =
      dotted != platform::kInaddrNone
          ? platform::GetHostByAddr(reinterpret_cast<const char*>(&dotted), 4, platform::kAfInet)
          : platform::GetHostByName(host.c_str());
  if (entry == nullptr || entry->h_addr_list == nullptr || entry->h_addr_list[0] == nullptr) {
    return false;
  }
  std::memcpy(address, entry->h_addr_list[0], 4);
  return true;
}

}  // namespace

uint32_t LastLocalAddress() { return last_local_address.load(); }

int HttpFetch(const HttpRequest& request) {
  HttpUrl url;
  if (!ParseHttpUrl(request.url, &url)) return kHttpFailed;
  std::string generated;
  if (request.custom_request == nullptr) {
    if (url.path.empty()) return kHttpFailed;
    const char* method = request.targets.head ? "HEAD" : "GET";
    if (!FormatHttpRequest(method, url.path, &generated)) return kHttpFailed;
  }

  platform::SockAddrIn address;
  if (!ResolveHost(url.host, &address.sin_addr.s_addr)) return kHttpNoHost;
  address.sin_port = platform::HostToNetShort(url.port);
  Connection connection;
  if (!connection.valid()) return kHttpNoSocket;
  const uint32_t timeout = request.idle_timeout_ms;
  platform::SetSockOpt(connection.socket(), platform::kSolSocket, platform::kSoRcvTimeo, &timeout,
                       sizeof timeout);
  platform::SetSockOpt(connection.socket(), platform::kSolSocket, platform::kSoSndTimeo, &timeout,
                       sizeof timeout);
  if (platform::Connect(connection.socket(), address) != 0) return kHttpNoConnection;
  platform::SockAddrIn local;
  if (platform::GetSockName(connection.socket(), &local) == 0) {
    last_local_address.store(local.sin_addr.s_addr);
  }
  if (!connection.SendAll(request.custom_request ? *request.custom_request : generated)) {
    return kHttpNotSent;
  }

  HttpFollow follow = [&request](std::string_view location) {
    if (request.redirects_left <= 0) return static_cast<int>(kHttpFailed);
    HttpRequest redirected;
    redirected.url = location;
    redirected.targets = request.targets;
    redirected.idle_timeout_ms = request.idle_timeout_ms;
    redirected.redirects_left = request.redirects_left - 1;
    return HttpFetch(redirected);
  };
  return ReadHttpResponse(connection, request.targets, follow);
}

}  // namespace script
