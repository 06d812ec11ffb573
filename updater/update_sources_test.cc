#include "updater/update_sources.h"

#include <gtest/gtest.h>

#include "updater/launch_code.h"
#include "updater/launch_record_fields.h"

namespace zoma {
namespace {

TEST(UpdateSources, ClientKindAndRegionByPrefix) {
  EXPECT_EQ(ClientKindFromValue(std::nullopt), ClientKind::kProduction);
  EXPECT_EQ(ClientKindFromValue("testing"), ClientKind::kTest);
  EXPECT_EQ(ClientKindFromValue("DEVELOPER"), ClientKind::kDevelopment);
  EXPECT_EQ(ClientKindFromValue("Nope"), ClientKind::kNoUpdate);
  EXPECT_EQ(ClientKindFromValue("Te"), ClientKind::kProduction);
  EXPECT_EQ(RegionFromText("europe"), Region::kEurope);
  EXPECT_EQ(RegionFromText("EURO"), Region::kEurope);
  EXPECT_EQ(RegionFromText("Eur"), Region::kDefault);
  EXPECT_EQ(RegionFromText("japanese"), Region::kJapan);
  EXPECT_EQ(RegionFromText(""), Region::kDefault);
  // Kind "No" updates from the production server of its region.
  EXPECT_EQ(BuiltInServer(Region::kJapan, ClientKind::kNoUpdate),
            BuiltInServer(Region::kJapan, ClientKind::kProduction));
  EXPECT_NE(BuiltInServer(Region::kEurope, ClientKind::kTest),
            BuiltInServer(Region::kDefault, ClientKind::kTest));
  EXPECT_EQ(BuiltInServer(Region::kDefault, ClientKind::kDevelopment)
                .substr(BuiltInServer(Region::kDefault, ClientKind::kDevelopment).size() - 5),
            ":3500");
}

TEST(UpdateSources, ChannelTablesAndTargets) {
  auto full = ChannelTable(ClientKind::kTest, false);
  ASSERT_EQ(full.size(), 4u);
  int span = 0;
  for (const auto& entry : full) span += entry.progress_span;
  EXPECT_EQ(span, 100);
  EXPECT_EQ(full[3].name, "Zoma/WindowsSystem");
  auto fix = ChannelTable(ClientKind::kNoUpdate, true);
  ASSERT_EQ(fix.size(), 1u);
  EXPECT_EQ(fix[0].name, "NoUpdate");
  EXPECT_EQ(ChannelTable(ClientKind::kProduction, true)[0].name, "Zoma/Programs");

  const std::string root = "C:\\Zoma", windows = "C:\\WINDOWS", system = "C:\\WINDOWS\\SYSTEM32";
  EXPECT_EQ(ChannelTargetDirectory(full[0], root, windows, system), "C:\\Zoma\\.");
  EXPECT_EQ(ChannelTargetDirectory(full[3], root, windows, system), system);
  EXPECT_EQ(ChannelTargetDirectory(fix[0], root, windows, system), "C:\\Zoma\\NoUpdate");
  ChannelEntry absolute{"x", "D:\\Games", 0, 100, kChannelAbsoluteDirectory};
  EXPECT_EQ(ChannelTargetDirectory(absolute, root, windows, system), "D:\\Games");
  ChannelEntry windows_dir{"x", "", 0, 100, kChannelWindowsDirectory | kChannelAbsoluteDirectory};
  EXPECT_EQ(ChannelTargetDirectory(windows_dir, root, windows, system), windows);
  ChannelEntry empty{"x", "", 0, 100, 0};
  EXPECT_EQ(ChannelTargetDirectory(empty, root, windows, system), root);

  EXPECT_EQ(ChannelUrl("h:3500", "Zoma/Zoma"), "http://h:3500/Zoma/Zoma");
  EXPECT_EQ(UserAgent(std::nullopt), "Zoma Software/Unknown Version; UpdateLibrary/0.96");
  EXPECT_EQ(UserAgent("1.2"), "Zoma Software/1.2; UpdateLibrary/0.96");
  EXPECT_EQ(Credentials(""), "");
  EXPECT_EQ(Credentials("pw"), "ZomaClient:pw");
  EXPECT_TRUE(IsPendingNeed("needs=dx7"));
  EXPECT_FALSE(IsPendingNeed("Need=dx7"));
}

std::string Record(std::string_view mcp, std::string_view affiliation) {
  std::string bytes(kLaunchRecordSize, '\0');
  bytes.replace(16, mcp.size(), mcp);
  bytes.replace(2116, affiliation.size(), affiliation);
  return bytes;
}

TEST(LaunchRecordFields, RegionTokenAndAffiliation) {
  auto fields = ParseLaunchRecordFields(Record("mcp.europe.zoma.example", "AFF123"));
  ASSERT_TRUE(fields);
  EXPECT_EQ(fields->region_text, "europe");
  EXPECT_EQ(fields->affiliation, "AFF123");
  EXPECT_EQ(ParseLaunchRecordFields(Record("..\t\njapan.x", ""))->region_text, "x");
  EXPECT_EQ(ParseLaunchRecordFields(Record("single", ""))->region_text, "");
  // Fields that fill their size have no terminator: they end at the field's end.
  auto full = ParseLaunchRecordFields(Record("a." + std::string(78, 'J'), std::string(16, 'Z')));
  EXPECT_EQ(full->region_text, std::string(78, 'J'));
  EXPECT_EQ(full->affiliation, std::string(16, 'Z'));
  EXPECT_FALSE(ParseLaunchRecordFields(std::string(kLaunchRecordSize - 1, '\0')));
  EXPECT_FALSE(ReadLaunchRecordFields("/nonexistent/launch.record"));
}

TEST(LaunchCode, EightWordsAcceptedForTwoWindows) {
  std::time_t now = 1'700'000'000;
  std::string code = MakeLaunchCode(now);
  EXPECT_EQ(std::count(code.begin(), code.end(), ' '), 7);
  EXPECT_TRUE(AcceptLaunchCode(code, now));
  EXPECT_TRUE(AcceptLaunchCode(code, now + 64));  // the previous window
  EXPECT_FALSE(AcceptLaunchCode(code, now + 128));
  EXPECT_FALSE(AcceptLaunchCode(code, now - 64));
  EXPECT_NE(MakeLaunchCode(now), MakeLaunchCode(now + 64));
  EXPECT_FALSE(AcceptLaunchCode("", now));
}

}  // namespace
}  // namespace zoma
