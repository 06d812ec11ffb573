// Host and service names through the host's resolver, or through the host file named by
// ZOMA_HOSTS when tests want answers without a network.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/ascii.h"
#include "platform/host_names.h"

namespace platform {
namespace {

// A host name fits in 255 characters; anything longer in a host file is not a name.
constexpr std::size_t kMaxHostName = 255;

const char* TestHostFile() { return std::getenv("ZOMA_HOSTS"); }

// Calls visit(address, names) for each usable line of the host file until it answers
// true.
template <typename Visit>
void ForEachHostLine(const char* path, Visit visit) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    line = line.substr(0, line.find('#'));
    std::istringstream fields(line);
    std::string address_text, name;
    if (!(fields >> address_text)) continue;
    std::optional<Ipv4Address> address = ParseDottedAddress(address_text);
    if (!address) continue;
    std::vector<std::string> names;
    while (fields >> name)
      if (name.size() <= kMaxHostName) names.push_back(name);
    if (!names.empty() && visit(*address, names)) return;
  }
}

}  // namespace

std::optional<Ipv4Address> ParseDottedAddress(const std::string& text) {
  Ipv4Address address = 0;
  std::size_t position = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (position >= text.size() || text[position] != '.') return std::nullopt;
      ++position;
    }
    std::size_t start = position;
    unsigned value = 0;
    while (position < text.size() && text[position] >= '0' && text[position] <= '9' &&
           position - start < 3)
      value = value * 10 + static_cast<unsigned>(text[position++] - '0');
    if (position == start || value > 255) return std::nullopt;
    address = address << 8 | value;
  }
  if (position != text.size()) return std::nullopt;
  return address;
}

std::optional<std::string> GetHostByAddr(Ipv4Address address) {
  if (const char* hosts = TestHostFile()) {
    std::optional<std::string> found;
    ForEachHostLine(hosts, [&](Ipv4Address line_address, const std::vector<std::string>& names) {
      if (line_address != address) return false;
      found = names.front();
      return true;
    });
    return found;
  }
  sockaddr_in socket_address{};
  socket_address.sin_family = AF_INET;
  socket_address.sin_addr.s_addr = htonl(address);
  char name[NI_MAXHOST];
  if (getnameinfo(reinterpret_cast<sockaddr*>(&socket_address), sizeof socket_address, name,
                  sizeof name, nullptr, 0, NI_NAMEREQD) != 0)
    return std::nullopt;
  return std::string(name);
}

std::optional<Ipv4Address> GetHostByName(const std::string& name) {
  if (name.empty() || name.size() > kMaxHostName || name.find('\0') != std::string::npos)
    return std::nullopt;
  if (const char* hosts = TestHostFile()) {
    std::optional<Ipv4Address> found;
    ForEachHostLine(hosts, [&](Ipv4Address address, const std::vector<std::string>& names) {
      for (const std::string& candidate : names)
        if (EqualsIgnoreCase(candidate, name)) {
          found = address;
          return true;
        }
      return false;
    });
    return found;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* results = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &results) != 0 || !results) return std::nullopt;
  std::optional<Ipv4Address> found;
  for (addrinfo* result = results; result && !found; result = result->ai_next)
    if (result->ai_family == AF_INET)
      found = ntohl(reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr.s_addr);
  freeaddrinfo(results);
  return found;
}

std::optional<std::uint16_t> GetServByName(const std::string& name, const std::string& protocol) {
  if (name.empty() || name.find('\0') != std::string::npos) return std::nullopt;
  servent entry{};
  servent* result = nullptr;
  char buffer[4096];
  if (getservbyname_r(name.c_str(), protocol.c_str(), &entry, buffer, sizeof buffer, &result) !=
          0 ||
      !result)
    return std::nullopt;
  return ntohs(static_cast<std::uint16_t>(result->s_port));
}

}  // namespace platform
