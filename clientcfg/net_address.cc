// Address slots of launch records and their "family:host:port" texts.
#include "clientcfg/net_address.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/ascii.h"
#include "platform/host_names.h"

namespace clientcfg {
namespace {

constexpr const char* kFamilyNames[] = {"unspec", "unix", "tcp", "udp", "vello"};
constexpr std::uint16_t kFamilyTcp = 2;
constexpr std::uint16_t kFamilyUdp = 3;
constexpr std::uint32_t kLoopback = 0x7F000001;

std::uint8_t Byte(std::string_view bytes, std::size_t offset) {
  return static_cast<std::uint8_t>(bytes[offset]);
}

// The fields of strtok(text, "/:"): runs between separators, empty ones skipped.
std::vector<std::string> SplitFields(const char* text) {
  std::vector<std::string> fields;
  std::string field;
  for (const char* c = text;; ++c) {
    if (*c == '\0' || *c == '/' || *c == ':') {
      if (!field.empty()) fields.push_back(std::move(field));
      field.clear();
      if (*c == '\0') return fields;
    } else {
      field.push_back(*c);
    }
  }
}

// atoi's reading, kept to 32 bits so that long digit runs cannot overflow.
std::uint32_t LeadingNumber(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = i < text.size() && text[i] == '-';
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  std::uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = value * 10 + static_cast<std::uint32_t>(text[i] - '0');
  return negative ? 0u - value : value;
}

}  // namespace

const char* NetFamilyName(std::uint16_t family) {
  return family < std::size(kFamilyNames) ? kFamilyNames[family] : "unknown";
}

NetAddress ReadNetAddressSlot(std::string_view slot) {
  NetAddress address;
  address.family = static_cast<std::uint16_t>(Byte(slot, 0) | Byte(slot, 1) << 8);
  address.port = static_cast<std::uint16_t>(Byte(slot, 4) << 8 | Byte(slot, 5));
  address.ipv4 = static_cast<std::uint32_t>(Byte(slot, 6)) << 24 |
                 static_cast<std::uint32_t>(Byte(slot, 7)) << 16 |
                 static_cast<std::uint32_t>(Byte(slot, 8)) << 8 | Byte(slot, 9);
  return address;
}

void WriteNetAddressSlot(const NetAddress& address, char* slot) {
  std::memset(slot, 0, kNetAddressSlotSize);
  slot[0] = static_cast<char>(address.family & 0xFF);
  slot[1] = static_cast<char>(address.family >> 8);
  slot[4] = static_cast<char>(address.port >> 8);
  slot[5] = static_cast<char>(address.port & 0xFF);
  for (int i = 0; i < 4; ++i) slot[6 + i] = static_cast<char>(address.ipv4 >> (24 - 8 * i));
}

int FormatNetAddress(const NetAddress& address, char* buffer, std::size_t size) {
  const char* family = NetFamilyName(address.family);
  if (std::optional<std::string> host = platform::GetHostByAddr(address.ipv4)) {
    if (std::strlen(family) + host->size() + 9 > size) return 1;
    std::snprintf(buffer, size, "%s:%s:%d", family, host->c_str(), address.port);
    return 0;
  }
  if (std::strlen(family) + 24 > size) return 3;
  std::snprintf(buffer, size, "%s:%u.%u.%u.%u:%d", family, address.ipv4 >> 24,
                (address.ipv4 >> 16) & 0xFF, (address.ipv4 >> 8) & 0xFF, address.ipv4 & 0xFF,
                address.port);
  return 2;
}

int ParseNetAddress(const char* text, NetAddress* address) {
  if (!text || !address) return 1;
  std::vector<std::string> fields = SplitFields(text);
  if (fields.size() < 3) return 1;
  const std::string& family = fields[0];
  const std::string& host = fields[1];
  const std::string& port = fields[2];

  std::uint16_t family_code;
  if (platform::EqualsIgnoreCase(family, "tcp"))
    family_code = kFamilyTcp;
  else if (platform::EqualsIgnoreCase(family, "udp"))
    family_code = kFamilyUdp;
  else
    return 2;

  std::uint32_t ipv4;
  if (host == "*") {
    ipv4 = 0;
  } else if (host == ".") {
    ipv4 = kLoopback;
  } else if (std::optional<std::uint32_t> dotted = platform::ParseDottedAddress(host)) {
    ipv4 = *dotted;
  } else if (std::optional<std::uint32_t> named = platform::GetHostByName(host)) {
    ipv4 = *named;
  } else {
    return 3;
  }

  std::uint16_t port_number = 0;
  if (port != "*" && port != ".") {
    port_number = static_cast<std::uint16_t>(LeadingNumber(port) & 0xFFFF);
    if (port_number == 0) {
      std::optional<std::uint16_t> service =
          platform::GetServByName(port, family_code == kFamilyTcp ? "tcp" : "udp");
      if (!service) return 4;
      port_number = *service;
    }
  }
  address->family = family_code;
  address->ipv4 = ipv4;
  address->port = port_number;
  return 0;
}

}  // namespace clientcfg
