// Profile patterns: case, directories, exclusions, stars within and across components.
#include "updatelib/profile.h"

#include <gtest/gtest.h>

namespace castanet {
namespace {

TEST(Profile, PatternsAndExclusions) {
  Profile everything;
  EXPECT_TRUE(everything.Includes("any/file"));

  Profile profile = Profile::Parse(
      "# comment\r\n  Programs/*.EXE \nData/\n!data/movies/**\n**/*.hlp\nreadme.???\n");
  EXPECT_TRUE(profile.Includes("programs/zomaup.exe"));
  EXPECT_FALSE(profile.Includes("Programs/sub/x.exe"));  // '*' stays in one component
  EXPECT_TRUE(profile.Includes("Data/a/b/c.dat"));
  EXPECT_FALSE(profile.Includes("Data/Movies/intro.avi"));
  EXPECT_TRUE(profile.Includes("deep/down/help.hlp"));
  EXPECT_TRUE(profile.Includes("top.hlp"));  // "**/" also matches no directory
  EXPECT_TRUE(profile.Includes("README.txt"));
  EXPECT_FALSE(profile.Includes("readme.text"));
  EXPECT_FALSE(profile.Includes("other.txt"));

  Profile only_exclusions = Profile::Parse("!*.tmp\n");
  EXPECT_TRUE(only_exclusions.Includes("a.txt"));
  EXPECT_FALSE(only_exclusions.Includes("a.tmp"));
}

TEST(Profile, LongPatternsEndQuickly) {
  std::string pattern, path(4000, 'a');
  for (int i = 0; i < 200; i++) pattern += "*a";
  pattern += "b";
  EXPECT_FALSE(MatchPattern(pattern, path));
  EXPECT_TRUE(MatchPattern("**", path));
}

}  // namespace
}  // namespace castanet
