// Numbered keys (counting, lists, arrays, blobs) and the reading of numbers.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "clientcfg/testing/launch_fixture.h"

namespace clientcfg {
namespace {

using testing::LaunchTest;

std::string Numbered(const std::string& base, int first, int last) {
  std::string text;
  for (int k = first; k <= last; ++k)
    text += base + std::to_string(k) + "=" + std::to_string(k * 10) + "\n";
  return text;
}

TEST_F(LaunchTest, CountNumberedKeysProbesWithoutGaps) {
  ASSERT_EQ(Load("[Main]\n" + Numbered("MCP", 1, 5) + "Count=3\nBad=x\n"), kLaunchOk);
  EXPECT_EQ(CountNumberedKeys(&file_, "Main", "MCP", nullptr, 4), 5);
  EXPECT_EQ(CountNumberedKeys(&file_, "Main", "MCP", "Count", 4), 3);
  EXPECT_EQ(CountNumberedKeys(&file_, "Main", "MCP", "Bad", 4), 5);  // not a number: probed
  EXPECT_EQ(CountNumberedKeys(&file_, "Main", "MCP", "Absent", 4), 5);
  // Every first probe finds the same count, from far below or above.
  for (int probe = 1; probe <= 40; ++probe)
    EXPECT_EQ(CountNumberedKeys(&file_, "Main", "MCP", nullptr, probe), 5) << probe;
  EXPECT_EQ(CountNumberedKeys(&file_, "Main", "None", nullptr, 16), 0);
  // A base is cut at ";" like any key before its number is added.
  EXPECT_EQ(CountNumberedKeys(&file_, "Main", "MCP;x", nullptr, 4), 5);
  EXPECT_EQ(CountNumberedKeys(&file_, "Main", "  MCP", nullptr, 4), 5);
  EXPECT_EQ(CountNumberedKeys(&file_, "Main", "#MCP", nullptr, 4), 0);
  // Probes below 2 start at 2 rather than answering 1 or -1.
  EXPECT_EQ(CountNumberedKeys(&file_, "Main", "None", nullptr, 0), 0);
  EXPECT_EQ(CountNumberedKeys(&file_, "Main", "MCP", nullptr, -7), 5);

  std::string text = "[Main]\n" + Numbered("K", 1, 1000) + "Huge=2000000000\n";
  ASSERT_EQ(Load(text), kLaunchOk);
  EXPECT_EQ(CountNumberedKeys(&file_, "Main", "K", nullptr, 16), 1000);
  EXPECT_EQ(CountNumberedKeys(&file_, "Main", "K", nullptr, 128), 1000);
  // The search steps by its first probe and stops at the largest number.
  ASSERT_EQ(Load("[Main]\nD2147483647=1\nE2147483646=1\n"), kLaunchOk);
  EXPECT_EQ(CountNumberedKeys(&file_, "Main", "D", nullptr, INT_MAX), INT_MAX);
  EXPECT_EQ(CountNumberedKeys(&file_, "Main", "E", nullptr, INT_MAX - 1), INT_MAX - 1);
}

TEST_F(LaunchTest, ListsAndArraysOfNumberedKeys) {
  WriteInstallationFiles("[Main]\nT4=from default\n", "");
  LoadDefaultLaunchFiles();
  ASSERT_EQ(Load("[Main]\nT1=one\nT2=a rather long text\nT3=three\nT5=five\n"
                 "N1=0x10\nN2=-3\nN3=junk\nCount=2000000000\n"),
            kLaunchOk);
  char buffers[8][6];
  std::memset(buffers, '#', sizeof buffers);
  EXPECT_EQ(GetLaunchList(&file_, "Main", "T", &buffers[0][0], 8, 6, nullptr), 5);
  EXPECT_STREQ(buffers[0], "one");
  EXPECT_STREQ(buffers[1], "a rat");  // cut to item size - 1
  EXPECT_STREQ(buffers[3], "from ");  // through the fallback
  EXPECT_EQ(buffers[5][0], '#');
  EXPECT_EQ(GetLaunchList(&file_, "Main", "T", &buffers[0][0], 2, 6, nullptr), 2);
  EXPECT_EQ(GetLaunchList(&file_, "Main", "X", &buffers[0][0], 3, 6, "dflt"),
            3);  // the default counts

  int count = 0;
  std::vector<std::string> texts = GetLaunchArray(&file_, "Main", "T", 1, &count);
  EXPECT_EQ(count, 5);
  EXPECT_EQ(texts, (std::vector<std::string>{"one", "a rather long text", "three", "from default",
                                             "five"}));
  texts = GetLaunchArray(&file_, "Main", "None", 16, &count);
  EXPECT_EQ(count, 0);
  EXPECT_TRUE(texts.empty());

  EXPECT_EQ(GetLaunchIntArray(&file_, "Main", "N", 7), (std::vector<int>{16, -3, 7}));
  int numbers[4] = {1, 1, 1, 1};
  GetLaunchIntArray(&file_, "Main", "N", numbers, 2, 7);
  EXPECT_EQ(numbers[1], -3);
  EXPECT_EQ(numbers[2], 1);
}

TEST_F(LaunchTest, BlobsJoinBase64LinesOf54Bytes) {
  std::string bytes;
  for (int i = 0; i < 54; ++i) bytes.push_back(static_cast<char>(i));
  const std::string line1 =
      "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1";
  ASSERT_EQ(Load("[Data]\nPic1=" + line1 +
                 "\nPic2= QU JD\n"  // blanks skipped, no padding
                 "Pic4=QUI=\n"      // line 3 missing: skipped
                 "Long1=" +
                 line1 +
                 "QUJD\n"  // 57 bytes: cut to 54
                 "LongLines=1\n"
                 "CountedLines=1\nCounted1=QUJD\nCounted2=QUJD\n"),
            kLaunchOk);
  std::optional<std::string> blob = GetLaunchBlob(&file_, "Data", "Pic");
  ASSERT_TRUE(blob);
  EXPECT_EQ(*blob, bytes + "ABC" + "AB");
  EXPECT_EQ(GetLaunchBlob(&file_, "Data", "Long"), bytes);
  EXPECT_EQ(GetLaunchBlob(&file_, "Data", "Counted"), "ABC");
  EXPECT_EQ(GetLaunchBlob(&file_, "Data", "Counted;x"), "ABC");  // the base as a key
  EXPECT_EQ(GetLaunchBlob(&file_, "Data", "Nothing"), "");
}

TEST(LaunchNumbers, BasesSignsAndDefaults) {
  struct Case {
    const char* text;
    int expected;
  } cases[] = {{"42", 42},
               {"  port 3500 x", 3500},
               {"-17", -17},
               {"a-b-5", -5},
               {"017", 15},
               {"0o17", 15},
               {"0O17", 15},
               {"0b101", 5},
               {"0B11", 3},
               {"0x1f", 31},
               {"0XFF", 255},
               {"-0x10", -16},
               {"0", 0},
               {"0z", 0},
               {"0.5", 0},
               {"0x", -99},
               {"0b2", -99},
               {"09", -99},
               {"", -99},
               {"none", -99},
               {"-", -99},
               {"4294967297", 1},
               {"0x80000000", INT_MIN}};
  for (const Case& c : cases) EXPECT_EQ(ParseLaunchNumber(c.text, -99), c.expected) << c.text;
  EXPECT_EQ(ParseLaunchNumber(nullptr, 5), 5);
  EXPECT_EQ(ParseLaunchNumber(std::string(1000, '9').c_str(), 0),
            ParseLaunchNumber(std::string(1000, '9').c_str(), 1));
}

}  // namespace
}  // namespace clientcfg
