#include "clientcfg/launch_record.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "clientcfg/launch_file.h"

namespace clientcfg {
namespace {

TEST(LaunchRecord, LayoutAndReadBack) {
  setenv("ZOMA_HOSTS", "/dev/null", 1);  // numeric addresses only
  LaunchRecord record;
  record.command = 6;
  record.game_id = 42;
  record.debug_mask = -1;
  record.override_mcp = "mcp.europe.zoma.example";
  record.chat_id = 7;
  record.number_of_players = 4;
  record.servers = {{2, 3500, 0x0A000001}, {3, 80, 0x7F000001}};
  record.mcps = {{2, 3500, 0x0A000001}};
  record.lobby_id = 9;
  record.command_argument = "3";
  record.command_url = "http://www.zoma.example/";
  record.affiliation = std::string(20, 'A');  // cut to its 16-byte field
  std::string bytes = SerializeLaunchRecord(record);
  ASSERT_EQ(bytes.size(), kLaunchRecordSize);
  EXPECT_EQ(bytes.substr(0, 4), std::string("\0\0\1\0", 4));
  EXPECT_EQ(bytes.substr(16, 23), "mcp.europe.zoma.example");
  EXPECT_EQ(bytes.substr(2116, 16), std::string(16, 'A'));
  EXPECT_EQ(bytes.substr(344, 4), std::string("\2\0\0\0", 4));
  // Port and address in network order.
  EXPECT_EQ(bytes.substr(348 + 4, 6), std::string("\x0D\xAC\x0A\x00\x00\x01", 6));

  LaunchFile file;
  ASSERT_EQ(LoadLaunchBytes(&file, bytes, kLaunchNoFallback), kLaunchOk);
  EXPECT_EQ(GetLaunchInt(&file, "Main", "GameID", 0), 42);
  EXPECT_EQ(GetLaunchInt(&file, "Debug", "debugMask", 0), -1);
  EXPECT_STREQ(GetLaunchValue(&file, "Main", "OverrideMCP", ""), "mcp.europe.zoma.example");
  EXPECT_STREQ(GetLaunchValue(&file, "Main", "MCP1", ""), "tcp:10.0.0.1:3500");
  EXPECT_STREQ(GetLaunchValue(&file, "Main", "PlayerIndex", ""), "3");

  // A record cut short is refused rather than read past its end.
  EXPECT_EQ(LoadLaunchBytes(&file, bytes.substr(0, kLaunchRecordSize - 1), 0), kLaunchUnreadable);
  bytes[2] = 0;
  EXPECT_NE(LoadLaunchBytes(&file, bytes, 0), kLaunchOk);
  unsetenv("ZOMA_HOSTS");
}

}  // namespace
}  // namespace clientcfg
