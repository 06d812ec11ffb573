// Winsock 1.1 as Windows programs see it: start-up and clean-up, blocking IPv4 TCP
// sockets and the host-entry look-ups. Addresses and ports are in network byte order,
// as in Winsock; failures are SOCKET_ERROR (or an invalid socket, or no host entry)
// with the reason in WSAGetLastError. Nothing here works before WSAStartup.
#pragma once

#include <cstdint>

namespace platform {

using Socket = std::uintptr_t;  // SOCKET
inline constexpr Socket kInvalidSocket = ~Socket{0};
inline constexpr int kSocketError = -1;

inline constexpr int kAfInet = 2;
inline constexpr int kSockStream = 1;
inline constexpr int kIpprotoTcp = 6;
inline constexpr std::uint32_t kInaddrNone = 0xFFFFFFFF;

// setsockopt levels and options; the time-outs are a DWORD of milliseconds.
inline constexpr int kSolSocket = 0xFFFF;
inline constexpr int kSoSndTimeo = 0x1005;
inline constexpr int kSoRcvTimeo = 0x1006;

// WSAGetLastError codes.
inline constexpr int kWsaEintr = 10004;
inline constexpr int kWsaEfault = 10014;
inline constexpr int kWsaEinval = 10022;
inline constexpr int kWsaEmfile = 10024;
inline constexpr int kWsaEnotsock = 10038;
inline constexpr int kWsaEafnosupport = 10047;
inline constexpr int kWsaEnetunreach = 10051;
inline constexpr int kWsaEconnreset = 10054;
inline constexpr int kWsaEnotconn = 10057;
inline constexpr int kWsaEtimedout = 10060;
inline constexpr int kWsaEconnrefused = 10061;
inline constexpr int kWsaEhostunreach = 10065;
inline constexpr int kWsaVernotsupported = 10092;
inline constexpr int kWsaNotinitialised = 10093;
inline constexpr int kWsaHostNotFound = 11001;
inline constexpr int kWsaNoData = 11004;

struct WsaData {
  std::uint16_t version = 0;
  std::uint16_t high_version = 0;
  char description[257] = {};
  char system_status[129] = {};
};

struct InAddr {
  std::uint32_t s_addr = 0;  // network order
};

struct SockAddrIn {
  std::int16_t sin_family = kAfInet;
  std::uint16_t sin_port = 0;  // network order
  InAddr sin_addr;
  char sin_zero[8] = {};
};

// HOSTENT. The entry a look-up returns belongs to the calling thread and stays valid
// until its next look-up.
struct HostEnt {
  char* h_name;
  char** h_aliases;
  std::int16_t h_addrtype;
  std::int16_t h_length;
  char** h_addr_list;  // each 4 bytes, network order; null-terminated
};

inline constexpr std::uint16_t MakeWord(std::uint8_t low, std::uint8_t high) {
  return static_cast<std::uint16_t>(low | (high << 8));
}

// 0, or kWsaVernotsupported for a request below 1.1. Calls are counted: each success
// needs its own WSACleanup.
int WSAStartup(std::uint16_t version_requested, WsaData* data);
int WSACleanup();
int WSAGetLastError();

Socket CreateSocket(int family, int type, int protocol);  // socket
int CloseSocket(Socket socket);                           // closesocket
int Connect(Socket socket, const SockAddrIn& address);
// Bytes sent or received; Recv gives 0 once the peer has closed its side.
int Send(Socket socket, const char* data, int length, int flags);
int Recv(Socket socket, char* buffer, int length, int flags);
int GetSockName(Socket socket, SockAddrIn* address);
int SetSockOpt(Socket socket, int level, int name, const void* value, int length);

HostEnt* GetHostByName(const char* name);
// `address` holds `length` bytes in network order; only kAfInet with 4 bytes. An
// address without a name gets its dotted form as the name.
HostEnt* GetHostByAddr(const char* address, int length, int type);
// The dotted forms inet_addr accepts ("a.b.c.d", "a.b.c", "a.b", "a", each part
// decimal, octal or hex), else kInaddrNone.
std::uint32_t InetAddr(const char* text);

std::uint16_t HostToNetShort(std::uint16_t value);  // htons
std::uint32_t HostToNetLong(std::uint32_t value);   // htonl

}  // namespace platform
