// Winsock on BSD sockets. A SOCKET is the host descriptor; errno is translated to the
// Winsock code once, here. Sends never raise SIGPIPE: a closed peer is an error result.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/winsock.h"

namespace platform {
namespace {

std::atomic<int> startups{0};
thread_local int last_error = 0;

int Fail(int code) {
  last_error = code;
  return kSocketError;
}

int WsaCodeOf(int error) {
  switch (error) {
    case EINTR:
      return kWsaEintr;
    case EFAULT:
      return kWsaEfault;
    case EMFILE:
    case ENFILE:
      return kWsaEmfile;
    case EBADF:
    case ENOTSOCK:
      return kWsaEnotsock;
    case EAFNOSUPPORT:
      return kWsaEafnosupport;
    case ENETUNREACH:
      return kWsaEnetunreach;
    case ECONNRESET:
    case EPIPE:
      return kWsaEconnreset;
    case ENOTCONN:
      return kWsaEnotconn;
    case ETIMEDOUT:
    case EAGAIN:  // a receive or send time-out
      return kWsaEtimedout;
    case ECONNREFUSED:
      return kWsaEconnrefused;
    case EHOSTUNREACH:
      return kWsaEhostunreach;
    default:
      return kWsaEinval;
  }
}

int FailErrno() { return Fail(WsaCodeOf(errno)); }

bool Started() {
  if (startups.load() > 0) return true;
  last_error = kWsaNotinitialised;
  return false;
}

// A descriptor fits in a SOCKET; anything negative or huge is not one of ours.
bool ValidSocket(Socket socket) { return socket != kInvalidSocket && socket <= 0x7FFFFFFF; }

sockaddr_in HostAddress(const SockAddrIn& address) {
  sockaddr_in host{};
  host.sin_family = AF_INET;
  host.sin_port = address.sin_port;
  host.sin_addr.s_addr = address.sin_addr.s_addr;
  return host;
}

// The calling thread's host entry: one name, no aliases, one address.
struct HostEntryStorage {
  std::string name;
  char address[4];
  char* addresses[2];
  char* aliases[1];
  HostEnt entry;

  HostEnt* Fill(const std::string& host_name, std::uint32_t network_address) {
    name = host_name;
    std::memcpy(address, &network_address, 4);
    addresses[0] = address;
    addresses[1] = nullptr;
    aliases[0] = nullptr;
    entry.h_name = name.data();
    entry.h_aliases = aliases;
    entry.h_addrtype = kAfInet;
    entry.h_length = 4;
    entry.h_addr_list = addresses;
    return &entry;
  }
};
thread_local HostEntryStorage host_entry;

}  // namespace

int WSAStartup(std::uint16_t version_requested, WsaData* data) {
  const int major = version_requested & 0xFF;
  const int minor = version_requested >> 8;
  if (major < 1 || (major == 1 && minor < 1)) return kWsaVernotsupported;
  if (data != nullptr) {
    *data = WsaData{};
    data->version = MakeWord(1, 1);
    data->high_version = MakeWord(2, 2);
    std::strcpy(data->description, "WinSock 1.1 on BSD sockets");
    std::strcpy(data->system_status, "Running");
  }
  startups.fetch_add(1);
  return 0;
}

int WSACleanup() {
  int count = startups.load();
  while (count > 0 && !startups.compare_exchange_weak(count, count - 1)) {
  }
  if (count <= 0) return Fail(kWsaNotinitialised);
  return 0;
}

int WSAGetLastError() { return last_error; }

Socket CreateSocket(int family, int type, int protocol) {
  if (!Started()) return kInvalidSocket;
  if (family != kAfInet) {
    last_error = kWsaEafnosupport;
    return kInvalidSocket;
  }
  const int host_type = type == kSockStream ? SOCK_STREAM : SOCK_DGRAM;
  int fd = ::socket(AF_INET, host_type | SOCK_CLOEXEC, protocol);
  if (fd < 0) {
    FailErrno();
    return kInvalidSocket;
  }
  return static_cast<Socket>(fd);
}

int CloseSocket(Socket socket) {
  if (!Started()) return kSocketError;
  if (!ValidSocket(socket)) return Fail(kWsaEnotsock);
  return ::close(static_cast<int>(socket)) == 0 ? 0 : FailErrno();
}

int Connect(Socket socket, const SockAddrIn& address) {
  if (!Started()) return kSocketError;
  if (!ValidSocket(socket)) return Fail(kWsaEnotsock);
  sockaddr_in host = HostAddress(address);
  for (;;) {
    if (::connect(static_cast<int>(socket), reinterpret_cast<sockaddr*>(&host), sizeof host) == 0) {
      return 0;
    }
    if (errno != EINTR) return FailErrno();
  }
}

int Send(Socket socket, const char* data, int length, int flags) {
  if (!Started()) return kSocketError;
  if (!ValidSocket(socket)) return Fail(kWsaEnotsock);
  if (length < 0) return Fail(kWsaEinval);
  (void)flags;
  for (;;) {
    ssize_t sent =
        ::send(static_cast<int>(socket), data, static_cast<size_t>(length), MSG_NOSIGNAL);
    if (sent >= 0) return static_cast<int>(sent);
    if (errno != EINTR) return FailErrno();
  }
}

int Recv(Socket socket, char* buffer, int length, int flags) {
  if (!Started()) return kSocketError;
  if (!ValidSocket(socket)) return Fail(kWsaEnotsock);
  if (length < 0) return Fail(kWsaEinval);
  (void)flags;
  for (;;) {
    ssize_t received = ::recv(static_cast<int>(socket), buffer, static_cast<size_t>(length), 0);
    if (received >= 0) return static_cast<int>(received);
    if (errno != EINTR) return FailErrno();
  }
}

int GetSockName(Socket socket, SockAddrIn* address) {
  if (!Started()) return kSocketError;
  if (!ValidSocket(socket)) return Fail(kWsaEnotsock);
  if (address == nullptr) return Fail(kWsaEfault);
  sockaddr_in host{};
  socklen_t size = sizeof host;
  if (::getsockname(static_cast<int>(socket), reinterpret_cast<sockaddr*>(&host), &size) != 0) {
    return FailErrno();
  }
  if (host.sin_family != AF_INET) return Fail(kWsaEafnosupport);
  *address = SockAddrIn{};
  address->sin_port = host.sin_port;
  address->sin_addr.s_addr = host.sin_addr.s_addr;
  return 0;
}

int SetSockOpt(Socket socket, int level, int name, const void* value, int length) {
  if (!Started()) return kSocketError;
  if (!ValidSocket(socket)) return Fail(kWsaEnotsock);
  if (level != kSolSocket || (name != kSoRcvTimeo && name != kSoSndTimeo)) {
    return Fail(kWsaEinval);  // only the time-outs are needed so far
  }
  if (value == nullptr || length < static_cast<int>(sizeof(std::uint32_t))) {
    return Fail(kWsaEfault);
  }
  std::uint32_t milliseconds;
  std::memcpy(&milliseconds, value, sizeof milliseconds);
  timeval timeout{};
  timeout.tv_sec = milliseconds / 1000;
  timeout.tv_usec = (milliseconds % 1000) * 1000;
  const int host_name = name == kSoRcvTimeo ? SO_RCVTIMEO : SO_SNDTIMEO;
  if (::setsockopt(static_cast<int>(socket), SOL_SOCKET, host_name, &timeout, sizeof timeout) !=
      0) {
    return FailErrno();
  }
  return 0;
}

HostEnt* GetHostByName(const char* name) {
  if (!Started()) return nullptr;
  if (name == nullptr || *name == '\0') {
    last_error = kWsaHostNotFound;
    return nullptr;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_CANONNAME;
  addrinfo* found = nullptr;
  if (::getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) {
    last_error = kWsaHostNotFound;
    return nullptr;
  }
  const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
  std::string canonical = found->ai_canonname ? found->ai_canonname : name;
  HostEnt* entry = host_entry.Fill(canonical, address->sin_addr.s_addr);
  ::freeaddrinfo(found);
  return entry;
}

HostEnt* GetHostByAddr(const char* address, int length, int type) {
  if (!Started()) return nullptr;
  if (address == nullptr || length != 4 || type != kAfInet) {
    last_error = kWsaEafnosupport;
    return nullptr;
  }
  sockaddr_in host{};
  host.sin_family = AF_INET;
  std::memcpy(&host.sin_addr.s_addr, address, 4);
  char name[NI_MAXHOST];
  // Without a registered name the dotted form stands in: the address itself is what a
  // caller connects to.
  if (::getnameinfo(reinterpret_cast<sockaddr*>(&host), sizeof host, name, sizeof name, nullptr, 0,
                    0) != 0) {
    last_error = kWsaNoData;
    return nullptr;
  }
  return host_entry.Fill(name, host.sin_addr.s_addr);
}

std::uint32_t InetAddr(const char* text) {
  if (text == nullptr) return kInaddrNone;
  in_addr address{};
  if (::inet_aton(text, &address) == 0) return kInaddrNone;
  return address.s_addr;
}

std::uint16_t HostToNetShort(std::uint16_t value) { return htons(value); }
std::uint32_t HostToNetLong(std::uint32_t value) { return htonl(value); }

}  // namespace platform
