// Number formatting: printf conversions, separators, and formats that must never reach
// printf as written.
#include "script/lib/number_format.h"

#include <gtest/gtest.h>

namespace script {
namespace {

TEST(FormatNumber, IntegerConversions) {
  EXPECT_EQ(FormatNumber(255, ""), "255");
  EXPECT_EQ(FormatNumber(255, "x"), "ff");
  EXPECT_EQ(FormatNumber(255, "08X"), "000000FF");
  EXPECT_EQ(FormatNumber(-5, "+d"), "-5");
  EXPECT_EQ(FormatNumber(7, "-4d|"), "7   |");
  EXPECT_EQ(FormatNumber(65, "c"), "A");
  EXPECT_EQ(FormatNumber(0, "c"), "");
  EXPECT_EQ(FormatNumber(-1, "u"), "4294967295");
}

TEST(FormatNumber, ThousandsSeparators) {
  EXPECT_EQ(FormatNumber(1234567, ","), "1,234,567");
  EXPECT_EQ(FormatNumber(-1234, ","), "-1,234");
  EXPECT_EQ(FormatNumber(-123, ","), "-123");
  EXPECT_EQ(FormatNumber(123456, ",d"), "123,456");
  EXPECT_EQ(FormatNumber(-2147483647 - 1, ","), "-2,147,483,648");
  EXPECT_EQ(FormatNumber(1234567, "12,d"), "     1,234,567");  // padding is not grouped
  for (int digits = 1; digits <= 9; ++digits) {
    int value = 0;
    for (int i = 0; i < digits; ++i) value = value * 10 + 9;
    std::string text = FormatNumber(value, ",");
    EXPECT_EQ(text.size(), static_cast<size_t>(digits + (digits - 1) / 3)) << text;
    EXPECT_NE(text.front(), ',');
  }
}

TEST(FormatNumber, UnsafeFormatsFallBackToDecimal) {
  const char* const unsafe[] = {"s",   "n",    "%n",  "d%s", "d%n",   "*d",     ".*d",
                                "%",   "f",    "p",   "ls",  "lld%s", "99999d", ".5000d",
                                "1$d", "d %x", "hhn", "Lf",  "ZZ"};
  for (const char* format : unsafe) {
    EXPECT_EQ(FormatNumber(42, format), "42") << format;
  }
  EXPECT_EQ(FormatNumber(1234, ",s"), "1,234");
}

TEST(NumberWords, CardinalAndOrdinal) {
  EXPECT_EQ(NumberWords(0, false, false), "zero");
  EXPECT_EQ(NumberWords(0, true, false), "zeroth");
  EXPECT_EQ(NumberWords(1020, true, false), "one thousand twentieth");
  EXPECT_EQ(NumberWords(1000000, true, false), "one millionth");
  EXPECT_EQ(NumberWords(113, true, true), "one hundred and thirteenth");
  EXPECT_EQ(NumberWords(-5, false, false), "negative five");
  EXPECT_EQ(NumberWords(-2147483647 - 1, false, false),
            "negative two billion one hundred forty-seven million four hundred eighty-three "
            "thousand six hundred forty-eight");
}

}  // namespace
}  // namespace script
