#include "updater/update_settings.h"

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "platform/testing/temp_prefix.h"

namespace zoma {
namespace {

namespace reg = platform::reg;
constexpr const char* kUpdate = "HKLM\\Software\\Norvance\\Zoma\\Update";
constexpr const char* kMain = "HKLM\\Software\\Norvance\\Zoma\\Main";

class UpdateSettingsTest : public ::testing::Test {
 protected:
  platform::testing::TempPrefix prefix_;
};

TEST_F(UpdateSettingsTest, NumberedDownloadSettingsSkipMissingOnes) {
  EXPECT_TRUE(DownloadSettings().empty());
  EXPECT_EQ(RequestLogLines(""), std::vector<std::string>{});
  reg::WriteString(kUpdate, "Download Settings Count", "3");
  reg::WriteString(kUpdate, "Download Setting 1", "Speed=Fast");
  reg::WriteString(kUpdate, "Download Setting 3", "needs=Patch7");
  reg::WriteString(kUpdate, "Download Settings", "ignored while a count exists");
  EXPECT_EQ(RequestLogLines("AFF01"),
            (std::vector<std::string>{"Affiliation=AFF01", "Speed=Fast", "needs=Patch7"}));
  EXPECT_TRUE(NeedsPending());
  ClearNeeds();
  EXPECT_FALSE(reg::ReadString(kUpdate, "Download Settings Count"));
  EXPECT_FALSE(reg::ReadString(kUpdate, "Download Setting 3"));
  EXPECT_EQ(reg::ReadString(kUpdate, "Download Setting 1"), "Speed=Fast");
  // Without the count only the single setting counts.
  EXPECT_EQ(DownloadSettings(), std::vector<std::string>{"ignored while a count exists"});
  EXPECT_FALSE(NeedsPending());
}

TEST_F(UpdateSettingsTest, CountZeroUsesTheSingleSetting) {
  reg::WriteString(kUpdate, "Download Settings Count", "0");
  reg::WriteString(kUpdate, "Download Settings", "Needs=Fonts");
  EXPECT_EQ(DownloadSettings(), std::vector<std::string>{"Needs=Fonts"});
  EXPECT_TRUE(NeedsPending());
  ClearNeeds();
  EXPECT_FALSE(reg::ReadString(kUpdate, "Download Settings Count"));
  EXPECT_FALSE(reg::ReadString(kUpdate, "Download Settings"));
  // A count no one wrote is not walked to the end.
  reg::WriteString(kUpdate, "Download Settings Count", "2000000000");
  reg::WriteString(kUpdate, "Download Setting 2", "x");
  EXPECT_EQ(DownloadSettings(), std::vector<std::string>{"x"});
}

TEST_F(UpdateSettingsTest, ACountThatIsNotANumberCountsNoneAndKeepsTheSingleSetting) {
  reg::WriteString(kUpdate, "Download Settings", "Needs=Fonts");
  reg::WriteString(kUpdate, "Download Setting 1", "Needs=Sound");
  for (const char* count : {"abc", "-2", " 0", "00"}) {
    reg::WriteString(kUpdate, "Download Settings Count", count);
    EXPECT_TRUE(DownloadSettings().empty()) << count;
    EXPECT_FALSE(NeedsPending()) << count;
    ClearNeeds();
    EXPECT_FALSE(reg::ReadString(kUpdate, "Download Settings Count")) << count;
    EXPECT_EQ(reg::ReadString(kUpdate, "Download Settings"), "Needs=Fonts") << count;
    EXPECT_EQ(reg::ReadString(kUpdate, "Download Setting 1"), "Needs=Sound") << count;
  }
  // "1abc" counts by its leading digits.
  reg::WriteString(kUpdate, "Download Settings Count", "1abc");
  EXPECT_EQ(DownloadSettings(), std::vector<std::string>{"Needs=Sound"});
}

TEST_F(UpdateSettingsTest, ServersKindAndCachedArguments) {
  EXPECT_EQ(ReadClientKind(), ClientKind::kProduction);
  reg::WriteString(kUpdate, "ZomaClient", "testing");
  EXPECT_EQ(ReadClientKind(), ClientKind::kTest);
  EXPECT_EQ(SelectServer(Region::kEurope, ClientKind::kTest),
            BuiltInServer(Region::kEurope, ClientKind::kTest));
  reg::WriteString(std::string(kUpdate) + "\\Servers", "europe.test", "127.0.0.1:8123");
  reg::WriteString(std::string(kUpdate) + "\\Servers", "japan.production", "localhost");
  EXPECT_EQ(SelectServer(Region::kEurope, ClientKind::kTest), "127.0.0.1:8123");
  EXPECT_EQ(SelectServer(Region::kJapan, ClientKind::kNoUpdate), "localhost:3500");
  EXPECT_EQ(SelectServer(Region::kDefault, ClientKind::kTest),
            BuiltInServer(Region::kDefault, ClientKind::kTest));

  EXPECT_FALSE(TakeCachedArguments());
  reg::WriteString(kMain, kCachedArgumentsValue, "a.spi /x");
  EXPECT_EQ(TakeCachedArguments(), "a.spi /x");
  EXPECT_FALSE(reg::ReadString(kMain, kCachedArgumentsValue));

  reg::WriteString(kMain, "Root Directory", "C:\\ZOMA");
  EXPECT_EQ(ProgramsFilePath("ZomaUp.exe"), "C:\\ZOMA\\Programs\\ZomaUp.exe");
  reg::WriteString(kMain, "System Directory", "D:\\Sys");
  EXPECT_EQ(SystemFilePath("ZOMA.EXE"), "D:\\Sys\\ZOMA.EXE");
}

}  // namespace
}  // namespace zoma
