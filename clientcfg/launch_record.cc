// Writing the binary launch record.
#include "clientcfg/launch_record.h"

#include <algorithm>

namespace clientcfg {
namespace {

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
    {&LaunchRecord::lobby_id, 604},
};

void Put32(std::string& bytes, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

void PutAddresses(std::string& bytes, std::size_t count_offset, std::size_t offset,
                  const std::vector<NetAddress>& addresses, std::optional<std::int32_t> count) {
  Put32(bytes, count_offset,
        static_cast<std::uint32_t>(count.value_or(static_cast<std::int32_t>(addresses.size()))));
  for (std::size_t k = 0; k < kLaunchAddressSlots && k < addresses.size(); ++k)
    WriteNetAddressSlot(addresses[k], &bytes[offset + k * kNetAddressSlotSize]);
}

}  // namespace

std::string SerializeLaunchRecord(const LaunchRecord& record) {
  std::string bytes(kLaunchRecordSize, '\0');
  Put32(bytes, 0, kLaunchRecordMagic);
  for (const NumberField& field : kNumberFields)
    Put32(bytes, field.offset, static_cast<std::uint32_t>(record.*field.member));
  for (const TextField& field : kTextFields) {
    const std::string& text = record.*field.member;
    bytes.replace(field.offset, std::min(text.size(), field.size), text.substr(0, field.size));
  }
  PutAddresses(bytes, kLaunchServerCountOffset, kLaunchServersOffset, record.servers,
               record.server_count);
  PutAddresses(bytes, kLaunchMcpCountOffset, kLaunchMcpsOffset, record.mcps, record.mcp_count);
  return bytes;
}

}  // namespace clientcfg
