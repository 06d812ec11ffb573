// Network addresses of launch files: the 16-byte address slot of a launch record and
// its texts, "family:host:port" ("tcp:mcp.zoma.example:3500", "udp:10.0.0.1:3501").
//
// A slot: family code (16 bits, little-endian), 2 bytes not read, port (16 bits,
// network order), IPv4 address (network order), 6 bytes not read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace clientcfg {

inline constexpr std::size_t kNetAddressSlotSize = 16;

struct NetAddress {
  std::uint16_t family = 0;  // 0 unspec, 1 unix, 2 tcp, 3 udp, 4 vello
  std::uint16_t port = 0;
  std::uint32_t ipv4 = 0;  // a.b.c.d as (a << 24) | (b << 16) | (c << 8) | d
};

/// "unspec", "unix", "tcp", "udp", "vello"; "unknown" for any other code.
const char* NetFamilyName(std::uint16_t family);

/// The address of a 16-byte slot (at least 16 bytes must be given).
NetAddress ReadNetAddressSlot(std::string_view slot);
/// Writes the slot's 16 bytes (the bytes not read as zeros).
void WriteNetAddressSlot(const NetAddress& address, char* slot);

/// "family:host:port" when the address has a host name (0; 1 when family + host + 9
/// exceeds size), else "family:a.b.c.d:port" (2; 3 when family + 24 exceeds size).
/// Nothing is written on results 1 and 3.
int FormatNetAddress(const NetAddress& address, char* buffer, std::size_t size);

/// Three fields split at "/" or ":": family ("tcp" or "udp", any case), host ("*" any
/// address, "." 127.0.0.1, a dotted address or a host name) and port ("*" or "." 0, a
/// decimal number, or a service name when the number is 0 in its low 16 bits).
/// Empty fields do not count and fields after the third are ignored. Results: 0 done,
/// 1 fewer than three fields, 2 family, 3 host, 4 port.
int ParseNetAddress(const char* text, NetAddress* address);

}  // namespace clientcfg
