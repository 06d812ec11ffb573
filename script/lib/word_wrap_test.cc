// Word wrapping: line budgets over a range of widths, padding and paragraph lines.
#include "script/lib/word_wrap.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace script {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "output must end with a line end";
  return lines;
}

TEST(WordWrap, NoLinePassesTheWidthUnlessItIsOneWord) {
  const std::string text =
      "Lorem ipsum dolor sit amet, consectetur adipiscing elit. Sed do eiusmod tempor\n"
      "incididunt ut labore et dolore magna aliqua. Ut enim ad minim veniam, quis nostrud";
  for (int width = 1; width <= 90; ++width) {
    WordWrapOptions options;
    options.width = width;
    options.prefix = "> ";
    std::string wrapped = WordWrap(text, options);
    std::string words_in, words_out, word;
    for (std::istringstream in(text); in >> word;) words_in += word + " ";
    for (const std::string& line : Lines(wrapped)) {
      ASSERT_EQ(line.compare(0, 2, "> "), 0) << line;
      std::string body = line.substr(2);
      if (body.find(' ') != std::string::npos) {
        EXPECT_LE(static_cast<int>(line.size()), width) << "width " << width << ": " << line;
      }
      for (std::istringstream in(body); in >> word;) words_out += word + " ";
    }
    EXPECT_EQ(words_in, words_out) << "width " << width;
  }
}

TEST(WordWrap, PaddedLineEndsFillEveryLineToTheBudget) {
  WordWrapOptions options;
  options.width = 12;
  options.line_end = " |";
  std::vector<std::string> lines = Lines(WordWrap("aa bb cc dd ee ff gg\n\nhh", options));
  // A later word needs a budget larger than itself and its blank: "dd" waits.
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "aa bb cc   |");
  EXPECT_EQ(lines[1], "dd ee ff   |");
  EXPECT_EQ(lines[2], "gg         |");
  EXPECT_EQ(lines[3], "|");  // the paragraph line is prefix and line end only
  EXPECT_EQ(lines[4], "hh         |");
}

TEST(WordWrap, EmptyTextWritesNothing) {
  EXPECT_EQ(WordWrap("", {}), "");
  EXPECT_EQ(WordWrap("   \t ", {}), "");
}

TEST(WordWrap, ParagraphBreaksUseTheFirstPrefix) {
  WordWrapOptions options;
  options.width = 40;
  options.prefix = "  ";
  options.first_prefix = "- ";
  options.line_end = "\n";
  EXPECT_EQ(WordWrap("one\n\ntwo\r\n\r\n\r\nthree", options),
            "- one\n- \n- two\n- \n- \n- three\n");
}

}  // namespace
}  // namespace script
