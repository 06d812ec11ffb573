// The text form and the search of one object: sections, comments, records of 16, the
// last definition winning.
#include <gtest/gtest.h>

#include "clientcfg/launch_file_internal.h"
#include "clientcfg/testing/launch_fixture.h"

namespace clientcfg {
namespace {

using testing::LaunchTest;

std::string Get(LaunchFile& file, const char* section, const char* key) {
  const char* value = GetLaunchValue(&file, section, key, nullptr);
  return value ? value : "<none>";
}

TEST_F(LaunchTest, TextLinesCommentsAndValues) {
  ASSERT_EQ(Load("Stray=before any section\r\n"
                 "  \t\n"
                 "[Main]   \n"
                 "   Key   =   value ; an inline comment\n"
                 "# Hidden = yes\n"
                 "; Hidden2 = yes\n"
                 "no equals sign here\n"
                 "=empty key\n"
                 "Spaces = a b c  \r\r\n\n"
                 "Empty=\n"
                 "Twice=a=b\n"
                 "[Other] trailing text\n"
                 "Semi=;all comment\n"),
            kLaunchOk);
  EXPECT_EQ(Get(file_, "Main", "Key"), "value");
  EXPECT_EQ(Get(file_, "main", "KEY"), "value");  // names ignore case
  EXPECT_EQ(Get(file_, "Main", "Hidden"), "<none>");
  EXPECT_EQ(Get(file_, "Main", "# Hidden"), "<none>");
  EXPECT_EQ(Get(file_, "Main", "Hidden2"), "<none>");
  EXPECT_EQ(Get(file_, "Main", "no equals sign here"), "<none>");
  EXPECT_EQ(Get(file_, "Main", "Stray"), "<none>");
  EXPECT_EQ(Get(file_, "Main", "Spaces"), "a b c");
  EXPECT_EQ(Get(file_, "Main", "Empty"), "");
  EXPECT_EQ(Get(file_, "Main", "Twice"), "a=b");
  EXPECT_EQ(Get(file_, "Other", "Semi"), "");
  // Lookup arguments: leading blanks skipped, cut at ";", "#" finds nothing.
  EXPECT_EQ(Get(file_, "  Main;x", " Key;y"), "value");
  EXPECT_EQ(Get(file_, "#Main", "Key"), "<none>");
  EXPECT_EQ(Get(file_, nullptr, "Key"), "<none>");
  EXPECT_EQ(file_.status(), kLaunchNotFound);
  Get(file_, "Main", "Key");
  EXPECT_EQ(file_.status(), kLaunchOk);

  EXPECT_EQ(Load("Key=value\n; [Main] in a comment\n"), kLaunchNoPath);
  EXPECT_FALSE(file_.loaded());
  EXPECT_EQ(Load("\n\n   \t\r\n   "), kLaunchNoPath);
  // Ten bytes are the least a launch file has.
  EXPECT_EQ(Load("[Main]\nA="), kLaunchBadSize);
  EXPECT_EQ(Load("[Main]\nA=1"), kLaunchOk);
  EXPECT_EQ(Get(file_, "Main", "A"), "1");
}

TEST_F(LaunchTest, SectionsContinuePastSixteenKeysAndTheLastDefinitionWins) {
  std::string text = "[Main]\n";
  for (int k = 1; k <= 20; ++k) text += "Key" + std::to_string(k) + "=" + std::to_string(k) + "\n";
  text += "[Lobby]\nName=first\n[Main]\nKey3=again\n[Lobby]\n[Lobby]\nName=second\n[Empty]\n";
  ASSERT_EQ(Load(text), kLaunchOk);
  for (int k = 1; k <= 20; ++k) {
    if (k == 3) continue;
    EXPECT_EQ(Get(file_, "Main", ("Key" + std::to_string(k)).c_str()), std::to_string(k));
  }
  EXPECT_EQ(Get(file_, "Main", "Key3"), "again");
  EXPECT_EQ(Get(file_, "Lobby", "Name"), "second");

  // Main (16) Main (4) Lobby Main Lobby: an empty section makes no record.
  const auto& records = file_.records();
  ASSERT_EQ(records.size(), 5u);
  EXPECT_EQ(records[0]->name, "Main");
  EXPECT_EQ(records[0]->used, 16);
  EXPECT_EQ(records[1]->name, "Main");
  EXPECT_EQ(records[1]->used, 4);
  EXPECT_EQ(records[2]->name, "Lobby");
  EXPECT_EQ(records[3]->name, "Main");
  EXPECT_EQ(records[4]->name, "Lobby");

  // A name is cut to 31 characters (after its trailing blanks go); names that differ
  // only in case are separate sections to the parser but one to lookups.
  ASSERT_EQ(Load("[" + std::string(40, 'S') + "  ]\nA=1\n[MAIN]\nB=2\n[main]\nB=3\n"), kLaunchOk);
  EXPECT_EQ(file_.records()[0]->name, std::string(31, 'S'));
  EXPECT_EQ(Get(file_, std::string(31, 'S').c_str(), "A"), "1");
  EXPECT_EQ(Get(file_, std::string(40, 'S').c_str(), "A"), "<none>");
  EXPECT_EQ(Get(file_, "Main", "B"), "3");
  EXPECT_EQ(file_.records().size(), 3u);
}

TEST_F(LaunchTest, LargeAndBinaryTextsEndInOrder) {
  std::string many = "[Main]\n";
  for (int k = 0; k < 10000; ++k) many += "K" + std::to_string(k) + "=v\n";
  ASSERT_EQ(Load(many), kLaunchOk);
  EXPECT_EQ(file_.records().size(), 625u);
  EXPECT_EQ(Get(file_, "Main", "K9999"), "v");
  EXPECT_EQ(Get(file_, "Main", "K0"), "v");

  std::string long_line = "[Main]\nLong=" + std::string(100000, 'x') + "\n";
  ASSERT_EQ(Load(long_line), kLaunchOk);
  EXPECT_EQ(Get(file_, "Main", "Long").size(), 100000u);

  // The text ends at its first NUL, as a C string would.
  ASSERT_EQ(Load(std::string("[Main]\nA=1\n\0B=2\n", 16)), kLaunchOk);
  EXPECT_EQ(Get(file_, "Main", "B"), "<none>");
  EXPECT_EQ(Load(std::string("\0[Main]\nA=1\n", 12)), kLaunchNoPath);

  std::string garbage(4096, '\0');
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>(i * 131 + 7);
  int status = Load(garbage);
  EXPECT_TRUE(status == kLaunchOk || status == kLaunchNoPath) << status;
  EXPECT_EQ(Load(std::string(kLaunchFileMaxSize + 1, '[')), kLaunchBadSize);
  EXPECT_EQ(Load(std::string(kLaunchFileMaxSize, '[')), kLaunchOk);
}

}  // namespace
}  // namespace clientcfg
