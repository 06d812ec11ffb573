// Host and service names as Winsock 1.1 gives them (gethostbyaddr, gethostbyname,
// getservbyname), for IPv4 only.
//
// Tests answer without a network: when ZOMA_HOSTS is set it names a host file in the
// hosts(5) format ("address name alias..." lines, "#" comments), and host look-ups
// consult that file alone. A ZOMA_HOSTS that cannot be read resolves nothing. Service
// names always come from the machine's own services database, which is local.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

/// An IPv4 address a.b.c.d is held as (a << 24) | (b << 16) | (c << 8) | d.
using Ipv4Address = std::uint32_t;

/// gethostbyaddr: the host name of an address; nullopt when it has none.
std::optional<std::string> GetHostByAddr(Ipv4Address address);

/// gethostbyname: the first IPv4 address of a host name; nullopt when it has none.
std::optional<Ipv4Address> GetHostByName(const std::string& name);

/// getservbyname: the port (host order) of a service for "tcp" or "udp".
std::optional<std::uint16_t> GetServByName(const std::string& name, const std::string& protocol);

/// inet_addr's strict form: four decimal parts 0..255 joined by dots.
std::optional<Ipv4Address> ParseDottedAddress(const std::string& text);

}  // namespace platform
