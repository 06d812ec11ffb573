#include "clientcfg/launch_record.h"

#include <gtest/gtest.h>

namespace clientcfg {
namespace {

TEST(LaunchRecord, RoundTripAndLayout) {
  LaunchRecord record;
  record.command = 6;
  record.game_id = 42;
  record.debug_mask = -1;
  record.override_mcp = "mcp.europe.zoma.example";
  record.chat_id = 7;
  record.number_of_players = 4;
  record.server_count = 2;
  record.servers = {{2, 3500, 0x0A000001}, {3, 80, 0x7F000001}};
  record.lobby_id = 9;
  record.command_argument = "3";
  record.command_url = "http://www.zoma.example/";
  record.affiliation = std::string(20, 'A');  // cut to its 16-byte field
  std::string bytes = SerializeLaunchRecord(record);
  ASSERT_EQ(bytes.size(), kLaunchRecordSize);
  EXPECT_EQ(bytes.substr(0, 4), std::string("\0\0\1\0", 4));
  EXPECT_EQ(bytes.substr(16, 23), "mcp.europe.zoma.example");
  EXPECT_EQ(bytes.substr(2116, 16), std::string(16, 'A'));
  // Port and address in network order.
  EXPECT_EQ(bytes.substr(348 + 4, 6), std::string("\x0D\xAC\x0A\x00\x00\x01", 6));

  auto parsed = ParseLaunchRecord(bytes);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->game_id, 42);
  EXPECT_EQ(parsed->debug_mask, -1);
  EXPECT_EQ(parsed->affiliation, std::string(16, 'A'));
  ASSERT_EQ(parsed->servers.size(), 2u);
  EXPECT_EQ(FormatNumericAddress(parsed->servers[0]), "tcp:10.0.0.1:3500");
  EXPECT_EQ(FormatNumericAddress(NetAddress{9, 1, 0}), "unknown:0.0.0.0:1");

  // A count past the 16 slots reads only the slots that exist.
  record.server_count = 17;
  EXPECT_EQ(ParseLaunchRecord(SerializeLaunchRecord(record))->servers.size(), 16u);
  EXPECT_FALSE(ParseLaunchRecord(bytes.substr(0, kLaunchRecordSize - 1)));
  bytes[2] = 0;
  EXPECT_FALSE(ParseLaunchRecord(bytes));
}

}  // namespace
}  // namespace clientcfg
