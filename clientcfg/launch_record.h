// The binary launch record: the fixed 3,668-byte form of a launch file that describes
// a game session to start. All numbers are 32-bit little-endian; texts are
// zero-terminated within their fields (a text that fills its field has no terminator
// and ends at the field's end).
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
// An address slot: family (16 bits), 2 bytes, port (16 bits, network order), IPv4
// address (network order), 6 bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace clientcfg {

inline constexpr std::size_t kLaunchRecordSize = 3668;
inline constexpr std::uint32_t kLaunchRecordMagic = 0x00010000;

struct NetAddress {
  std::uint16_t family = 0;  // 0 unspec, 1 unix, 2 tcp, 3 udp, 4 vello
  std::uint16_t port = 0;
  std::uint32_t ipv4 = 0;  // a.b.c.d as (a << 24) | (b << 16) | (c << 8) | d
};

struct LaunchRecord {
  std::int32_t command = 0;
  std::int32_t game_id = 0;
  std::int32_t debug_mask = 0;
  std::string override_mcp, override_mm, override_chat_server, override_game_server;
  std::int32_t chat_id = 0;
  std::int32_t number_of_players = 0;
  std::int32_t server_count = 0;  // as stored; only the first 16 slots exist
  std::vector<NetAddress> servers;
  std::int32_t lobby_id = 0;
  std::int32_t mcp_count = 0;
  std::vector<NetAddress> mcps;
  std::string command_argument;
  std::string command_url;
  std::string affiliation;
};

/// Nullopt when fewer than 3668 bytes are given or the magic is missing.
std::optional<LaunchRecord> ParseLaunchRecord(std::string_view bytes);

/// The 3668 bytes of a record; texts longer than their fields are cut, addresses past
/// 16 dropped.
std::string SerializeLaunchRecord(const LaunchRecord& record);

/// "tcp:10.0.0.1:3500"-like text of an address (numeric form).
std::string FormatNumericAddress(const NetAddress& address);

}  // namespace clientcfg
