#include "clientcfg/launch_record.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "clientcfg/launch_file.h"
#include "clientcfg/testing/launch_fixture.h"

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

using testing::LaunchTest;

std::string Get(LaunchFile* file, const char* section, const char* key) {
  const char* value = GetLaunchValue(file, section, key, nullptr);
  return value ? value : "<none>";
}

constexpr NetAddress kNamed{2, 3500, 0x0A000001};    // mcp.zoma.example in the test hosts
constexpr NetAddress kNumeric{3, 3501, 0x0A000002};  // no name

int LoadRecord(LaunchFile* file, const LaunchRecord& record, unsigned flags = 0) {
  return LoadLaunchBytes(file, SerializeLaunchRecord(record), flags);
}

TEST_F(LaunchTest, RecordServerAddressesStopAtTheFirstUnnamedOne) {
  WriteInstallationFiles("[Main]\nServorum1=from default\nServorum3=from default\n", "");
  LaunchFile* file = NewLaunchFile();
  LaunchRecord record;
  record.servers = {kNamed, kNamed, kNumeric, kNamed};
  ASSERT_EQ(LoadRecord(file, record), kLaunchOk);
  EXPECT_EQ(Get(file, "Main", "Network"), "Rallyer");
  EXPECT_EQ(Get(file, "Main", "Servorum1"), "tcp:mcp.zoma.example:3500");
  EXPECT_EQ(Get(file, "Main", "Servorum2"), "tcp:mcp.zoma.example:3500");
  // The numeric one counts as failed: it and all after it are deleted in the record,
  // so lookups fall through to the installation files.
  EXPECT_EQ(Get(file, "Main", "Servorum3"), "from default");
  EXPECT_EQ(Get(file, "Main", "Servorum4"), "<none>");

  // Counts past 16, negative or 2^31: 17 sets and deletes nothing; the others set none.
  for (std::int32_t count : {17, -1, INT32_MIN, 0}) {
    record.server_count = count;
    ASSERT_EQ(LoadRecord(file, record), kLaunchOk) << count;
    EXPECT_EQ(Get(file, "Main", "Servorum1"), "from default") << count;
    EXPECT_EQ(Get(file, "Main", "Servorum2"), "<none>") << count;
  }
  std::size_t entries = 0;
  for (const auto& r : file->records()) entries += r->used;
  EXPECT_EQ(entries, 11u);  // Network and the ten fields: no Servorum key at all
  FreeLaunchFile(file);
}

TEST_F(LaunchTest, RecordMcpAddressesAndCommandTexts) {
  WriteInstallationFiles("[CommandList]\n7=19\n", "");
  LaunchFile* file = NewLaunchFile();
  LaunchRecord record;
  record.mcps.assign(16, kNumeric);
  record.mcps[1] = {9, 80, 0x7F000001};  // a family out of range
  record.mcp_count = 20;
  record.command_argument = "arg";
  record.command_url = std::string(900, 'u');  // fills its 880 bytes: no terminator
  record.override_mm = std::string(80, 'm');
  for (int command : {6, 19, 21, 4, 20, 5, 7}) {
    record.command = command;
    ASSERT_EQ(LoadRecord(file, record), kLaunchOk);
    EXPECT_EQ(Get(file, "Main", "MCP1"), "udp:10.0.0.2:3501");
    EXPECT_EQ(Get(file, "Main", "MCP2"), "unknown:localhost:80");
    EXPECT_EQ(Get(file, "Main", "MCP16"), "udp:10.0.0.2:3501");
    EXPECT_EQ(Get(file, "Main", "MCP17"), "<none>");
    EXPECT_EQ(Get(file, "Main", "OverrideMM"), std::string(80, 'm'));
    EXPECT_EQ(Get(file, "Main", "PlayerIndex"), command == 6 ? "arg" : "<none>");
    // Command 7 is mapped to 19 by the installation's CommandList.
    EXPECT_EQ(Get(file, "Main", "PromoCode"), command == 19 || command == 7 ? "arg" : "<none>");
    EXPECT_EQ(Get(file, "Main", "Room"), command == 21 ? "arg" : "<none>");
    EXPECT_EQ(Get(file, "Main", "URL"),
              command == 4 || command == 20 ? std::string(880, 'u') : "<none>");
  }
  record.mcp_count = -1;
  ASSERT_EQ(LoadRecord(file, record), kLaunchOk);
  EXPECT_EQ(Get(file, "Main", "MCP1"), "<none>");
  EXPECT_EQ(CountNumberedKeys(file, "Main", "MCP", nullptr, 4), 0);

  // A record load keeps the flags of the last text load and runs no checks.
  ASSERT_EQ(LoadLaunchBytes(file, "[Main]\nA=1\n", kLaunchNoFallback), kLaunchOk);
  ASSERT_EQ(LoadRecord(file, record, 0), kLaunchOk);
  EXPECT_EQ(file->flags(), kLaunchNoFallback);
  EXPECT_EQ(Get(file, "CommandList", "7"), "<none>");
  FreeLaunchFile(file);
}

}  // namespace
}  // namespace clientcfg
