// The binary launch record: the fixed 3,668-byte form of a launch file that describes
// a game session to start. All numbers are 32-bit little-endian; texts are
// zero-terminated within their fields (a text that fills its field has no terminator
// and ends at the field's end). LoadLaunchFile reads records; this writes them.
//
//   0    4   0x00010000          348  16x16 server addresses
//   4    4   command             604  4   lobby id
//   8    4   game id             608  240 not read
//   12   4   debug mask          848  4   MCP address count m
//   16   80  OverrideMCP         852  16x16 MCP addresses
//   96   80  OverrideMM          1108 128 command argument text
//   176  80  OverrideChatServer  1236 880 command URL text
//   256  80  OverrideGameServer  2116 16  affiliation code
//   336  4   chat id             2132 1536 not read
//   340  4   number of players
//   344  4   server address count n
// Address slots: see net_address.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "clientcfg/net_address.h"

namespace clientcfg {

inline constexpr std::size_t kLaunchRecordSize = 3668;
inline constexpr std::uint32_t kLaunchRecordMagic = 0x00010000;
inline constexpr std::size_t kLaunchServerCountOffset = 344;
inline constexpr std::size_t kLaunchServersOffset = 348;
inline constexpr std::size_t kLaunchMcpCountOffset = 848;
inline constexpr std::size_t kLaunchMcpsOffset = 852;
inline constexpr std::size_t kLaunchAddressSlots = 16;

struct LaunchRecord {
  std::int32_t command = 0;
  std::int32_t game_id = 0;
  std::int32_t debug_mask = 0;
  std::string override_mcp, override_mm, override_chat_server, override_game_server;
  std::int32_t chat_id = 0;
  std::int32_t number_of_players = 0;
  std::int32_t lobby_id = 0;
  std::vector<NetAddress> servers;
  std::vector<NetAddress> mcps;
  // The counts as stored; by default the number of addresses given.
  std::optional<std::int32_t> server_count;
  std::optional<std::int32_t> mcp_count;
  std::string command_argument;
  std::string command_url;
  std::string affiliation;
};

/// The 3668 bytes of a record; texts longer than their fields are cut, addresses past
/// 16 dropped. A count not given is written as the number of addresses given.
std::string SerializeLaunchRecord(const LaunchRecord& record);

}  // namespace clientcfg
