#include "platform/command_line.h"

#include <gtest/gtest.h>

#include <random>

namespace platform {
namespace {

using Args = std::vector<std::string>;

TEST(CommandLine, SplitsByTheCRuntimeRules) {
  struct Case {
    const char* line;
    Args argv;
  } cases[] = {
      {"prog a b", {"prog", "a", "b"}},
      {"  prog   a\t b  ", {"prog", "a", "b"}},
      {"\"C:\\Program Files\\x.exe\" -v", {"C:\\Program Files\\x.exe", "-v"}},
      {"C:\\dir\\\"odd -v", {"C:\\dir\\\"odd", "-v"}},  // argv[0] keeps backslashes
      {"p \"a b\" c", {"p", "a b", "c"}},
      {"p a\\\\\\b", {"p", "a\\\\\\b"}},    // backslashes not before a quote
      {"p a\\\\\"b c\"", {"p", "a\\b c"}},  // 2n backslashes + quote
      {"p a\\\\\\\"b", {"p", "a\\\"b"}},    // 2n+1 backslashes + quote
      {"p \"a\"\"b\"", {"p", "a\"b"}},      // "" inside quotes
      {"p \"\"", {"p", ""}},
      {"p \"unterminated arg", {"p", "unterminated arg"}},
      {"p x\"y z\"w", {"p", "xy zw"}},
      {"", {""}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.argv) << c.line;
}

TEST(CommandLine, QuotedArgumentsComeBackExactly) {
  std::mt19937 rng(3);
  const std::string alphabet = "ab \t\"\\=/";
  for (int round = 0; round < 2000; ++round) {
    Args argv = {"C:\\Zoma\\Programs\\ZomaUp.exe"};
    for (int n = rng() % 4; n > 0; --n) {
      std::string argument;
      for (int k = rng() % 6; k > 0; --k) argument.push_back(alphabet[rng() % alphabet.size()]);
      argv.push_back(argument);
    }
    std::string line = BuildCommandLine(argv);
    EXPECT_EQ(SplitCommandLine(line), argv) << line;
  }
}

TEST(CommandLine, ProgramToken) {
  ProgramToken token = ParseProgramToken("  \"C:\\a b\\x.exe\"rest of it");
  EXPECT_EQ(token.program, "C:\\a b\\x.exe");
  EXPECT_EQ(std::string("  \"C:\\a b\\x.exe\"rest of it").substr(token.rest), "rest of it");
  EXPECT_EQ(ParseProgramToken("x.exe /FIX 1a").program, "x.exe");
}

}  // namespace
}  // namespace platform
