// The reference matcher itself: the matching rule on cases worked out by hand, so that
// the differential fuzz target compares against something known to be right.
#include "fuzz/reference_regex.h"

#include <gtest/gtest.h>

#include <string>

namespace fuzz {
namespace {

std::string Find(const std::string& pattern, const std::string& text) {
  ReferenceMatch match;
  switch (ReferenceSearch(pattern, text, &match)) {
    case ReferenceResult::kMalformed:
      return "!";
    case ReferenceResult::kNoMatch:
      return "-";
    case ReferenceResult::kTooCostly:
      return "?";
    case ReferenceResult::kMatch:
      break;
  }
  std::string result = std::to_string(match.offsets[0]) + ":" +
                       text.substr(match.offsets[0], match.offsets[1] - match.offsets[0]);
  for (int i = 1; i <= 9 && match.offsets[2 * i] != ReferenceMatch::kUnset; ++i)
    result +=
        "|" + text.substr(match.offsets[2 * i], match.offsets[2 * i + 1] - match.offsets[2 * i]);
  return result;
}

TEST(ReferenceRegex, MatchingRule) {
  EXPECT_EQ(Find("b|ab", "xab"), "1:ab");
  EXPECT_EQ(Find("(a|ab)(c|bcd)", "abcd"), "0:abcd|a|bcd");
  EXPECT_EQ(Find("(a*)(a)", "aaa"), "0:aaa|aa|a");
  EXPECT_EQ(Find("(a|b)*c", "abc"), "0:abc|b");
  EXPECT_EQ(Find("(a*)*", "b"), "0:|");
  EXPECT_EQ(Find("x(a|b)?y", "xy"), "0:xy");
  EXPECT_EQ(Find("[]a]+", "x]a]"), "1:]a]");
  EXPECT_EQ(Find("[^a-c]", "abcd"), "3:d");
  EXPECT_EQ(Find("\\.$", "a.b."), "3:.");
  EXPECT_EQ(Find("^a", "ba"), "-");
  for (const char* bad : {"a(", ")", "*", "a**", "[a", "[b-a]", "\\", "(|*)"})
    EXPECT_EQ(Find(bad, "a"), "!") << bad;
  EXPECT_EQ(Find("(a*)*(a*)*(a*)*(a*)*(a*)*b", std::string(40, 'a')), "?");
}

}  // namespace
}  // namespace fuzz
