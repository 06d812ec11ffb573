#include "updater/progress_arithmetic.h"

#include <gtest/gtest.h>

namespace zoma {
namespace {

TEST(ProgressArithmetic, PercentTextAndOverallPercent) {
  EXPECT_EQ(ParsePercentText("50%"), 50);
  EXPECT_EQ(ParsePercentText(" 7%"), 7);
  EXPECT_EQ(ParsePercentText("100"), 100);
  EXPECT_EQ(ParsePercentText("%"), std::nullopt);
  EXPECT_EQ(ParsePercentText(""), std::nullopt);
  EXPECT_EQ(ParsePercentText(nullptr), std::nullopt);
  // Out-of-range numbers from outside stay on the bar.
  EXPECT_EQ(ParsePercentText("-5%"), 0);
  EXPECT_EQ(ParsePercentText("99999999999999999999%"), 100);

  std::vector<ChannelEntry> table = ChannelTable(ClientKind::kProduction, false);
  EXPECT_EQ(OverallPercent(table[2], 50), 46);  // 6 + 50 * 81 / 100
  EXPECT_EQ(OverallPercent(table[0], 0), 0);
  EXPECT_EQ(OverallPercent(table[0], 99), 4);
  EXPECT_EQ(OverallPercent(table[3], 100), 100);
  for (int p = 0; p <= 100; ++p)
    for (const ChannelEntry& entry : table) {
      int overall = OverallPercent(entry, p);
      EXPECT_GE(overall, entry.progress_start);
      EXPECT_LE(overall, entry.progress_start + entry.progress_span);
    }
}

TEST(ProgressArithmetic, TimeRemainingFollowsTheRateSoFar) {
  EXPECT_EQ(TimeRemainingText(0, 500), "Calculating time remaining...");
  EXPECT_EQ(TimeRemainingText(50, 10), "< 1 minute remaining.");  // 10 s left
  EXPECT_EQ(TimeRemainingText(1, 1), "1 minute remaining.");      // 99 s left
  EXPECT_EQ(TimeRemainingText(10, 30), "4 minutes remaining.");   // 270 s left
  EXPECT_EQ(TimeRemainingText(50, 0), "< 1 minute remaining.");   // elapsed counts as 1 s
  EXPECT_EQ(TimeRemainingText(100, 3600), "< 1 minute remaining.");
  // A slow transfer gets a long time, never a negative one.
  EXPECT_EQ(TimeRemainingText(1, 600), "990 minutes remaining.");
  for (int p = 1; p <= 100; ++p)
    for (std::time_t t : {0, 1, 59, 61, 101, 5000, 1000000}) {
      std::string text = TimeRemainingText(p, t);
      EXPECT_EQ(text.find('-'), std::string::npos) << p << " " << t;
    }
}

}  // namespace
}  // namespace zoma
