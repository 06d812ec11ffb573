// Reading and writing the binary launch record.
#include "clientcfg/launch_record.h"

#include <cstdio>

namespace clientcfg {
namespace {

constexpr std::size_t kAddressSlots = 16;
constexpr std::size_t kAddressSize = 16;

struct TextField {
  std::string LaunchRecord::*member;
  std::size_t offset;
  std::size_t size;
};

constexpr TextField kTextFields[] = {
    {&LaunchRecord::override_mcp, 16, 80},          {&LaunchRecord::override_mm, 96, 80},
    {&LaunchRecord::override_chat_server, 176, 80}, {&LaunchRecord::override_game_server, 256, 80},
    {&LaunchRecord::command_argument, 1108, 128},   {&LaunchRecord::command_url, 1236, 880},
    {&LaunchRecord::affiliation, 2116, 16},
};

struct NumberField {
  std::int32_t LaunchRecord::*member;
  std::size_t offset;
};

constexpr NumberField kNumberFields[] = {
    {&LaunchRecord::command, 4},
    {&LaunchRecord::game_id, 8},
    {&LaunchRecord::debug_mask, 12},
    {&LaunchRecord::chat_id, 336},
    {&LaunchRecord::number_of_players, 340},
    {&LaunchRecord::server_count, 344},
    {&LaunchRecord::lobby_id, 604},
    {&LaunchRecord::mcp_count, 848},
};

constexpr std::size_t kServersOffset = 348;
constexpr std::size_t kMcpsOffset = 852;

std::uint32_t Get32(std::string_view bytes, std::size_t offset) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<std::uint8_t>(bytes[offset + i]);
  return value;
}

void Put32(std::string& bytes, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint8_t Byte(std::string_view bytes, std::size_t offset) {
  return static_cast<std::uint8_t>(bytes[offset]);
}

NetAddress GetAddress(std::string_view bytes, std::size_t offset) {
  NetAddress address;
  address.family = static_cast<std::uint16_t>(Byte(bytes, offset) | Byte(bytes, offset + 1) << 8);
  address.port = static_cast<std::uint16_t>(Byte(bytes, offset + 4) << 8 | Byte(bytes, offset + 5));
  address.ipv4 = static_cast<std::uint32_t>(Byte(bytes, offset + 6)) << 24 |
                 static_cast<std::uint32_t>(Byte(bytes, offset + 7)) << 16 |
                 static_cast<std::uint32_t>(Byte(bytes, offset + 8)) << 8 | Byte(bytes, offset + 9);
  return address;
}

void PutAddress(std::string& bytes, std::size_t offset, const NetAddress& address) {
  bytes[offset] = static_cast<char>(address.family & 0xFF);
  bytes[offset + 1] = static_cast<char>(address.family >> 8);
  bytes[offset + 4] = static_cast<char>(address.port >> 8);
  bytes[offset + 5] = static_cast<char>(address.port & 0xFF);
  for (int i = 0; i < 4; ++i)
    bytes[offset + 6 + i] = static_cast<char>(address.ipv4 >> (24 - 8 * i));
}

std::vector<NetAddress> GetAddresses(std::string_view bytes, std::size_t offset,
                                     std::int32_t count) {
  std::vector<NetAddress> addresses;
  for (std::size_t k = 0; k < kAddressSlots && static_cast<std::int32_t>(k) < count; ++k)
    addresses.push_back(GetAddress(bytes, offset + k * kAddressSize));
  return addresses;
}

}  // namespace

std::optional<LaunchRecord> ParseLaunchRecord(std::string_view bytes) {
  if (bytes.size() < kLaunchRecordSize || Get32(bytes, 0) != kLaunchRecordMagic)
    return std::nullopt;
  LaunchRecord record;
  for (const NumberField& field : kNumberFields)
    record.*field.member = static_cast<std::int32_t>(Get32(bytes, field.offset));
  for (const TextField& field : kTextFields) {
    std::string_view text = bytes.substr(field.offset, field.size);
    record.*field.member = std::string(text.substr(0, text.find('\0')));
  }
  record.servers = GetAddresses(bytes, kServersOffset, record.server_count);
  record.mcps = GetAddresses(bytes, kMcpsOffset, record.mcp_count);
  return record;
}

std::string SerializeLaunchRecord(const LaunchRecord& record) {
  std::string bytes(kLaunchRecordSize, '\0');
  Put32(bytes, 0, kLaunchRecordMagic);
  for (const NumberField& field : kNumberFields)
    Put32(bytes, field.offset, static_cast<std::uint32_t>(record.*field.member));
  for (const TextField& field : kTextFields) {
    const std::string& text = record.*field.member;
    bytes.replace(field.offset, std::min(text.size(), field.size), text.substr(0, field.size));
  }
  for (std::size_t k = 0; k < kAddressSlots && k < record.servers.size(); ++k)
    PutAddress(bytes, kServersOffset + k * kAddressSize, record.servers[k]);
  for (std::size_t k = 0; k < kAddressSlots && k < record.mcps.size(); ++k)
    PutAddress(bytes, kMcpsOffset + k * kAddressSize, record.mcps[k]);
  return bytes;
}

std::string FormatNumericAddress(const NetAddress& address) {
  static const char* const families[] = {"unspec", "unix", "tcp", "udp", "vello"};
  const char* family = address.family < 5 ? families[address.family] : "unknown";
  char text[64];
  std::snprintf(text, sizeof text, "%s:%u.%u.%u.%u:%u", family, address.ipv4 >> 24,
                (address.ipv4 >> 16) & 0xFF, (address.ipv4 >> 8) & 0xFF, address.ipv4 & 0xFF,
                address.port);
  return text;
}

}  // namespace clientcfg
