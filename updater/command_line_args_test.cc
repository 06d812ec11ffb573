#include "updater/command_line_args.h"

#include <gtest/gtest.h>

namespace zoma {
namespace {

using Tokens = std::vector<std::string>;

TEST(CommandLineArgs, TokensSplitAtWhiteSpaceOutsideQuotes) {
  EXPECT_EQ(TokenizeArguments(""), Tokens{});
  EXPECT_EQ(TokenizeArguments("   \t "), Tokens{});
  EXPECT_EQ(TokenizeArguments("  a  b\tc "), (Tokens{"a", "b", "c"}));
  // A quote toggles quoting anywhere in a token and is dropped.
  EXPECT_EQ(TokenizeArguments("\"C:\\My Games\\x.spi\" b"), (Tokens{"C:\\My Games\\x.spi", "b"}));
  EXPECT_EQ(TokenizeArguments("ab\"c d\"e f"), (Tokens{"abc de", "f"}));
  EXPECT_EQ(TokenizeArguments("\"\""), Tokens{""});
  // An open quote runs to the end.
  EXPECT_EQ(TokenizeArguments("\"a b"), Tokens{"a b"});
}

TEST(CommandLineArgs, SwitchesByCaseInsensitivePrefix) {
  StartupArguments args =
      ParseStartupArguments("/fix 1a2b /JCX /nomotd /Other first.spi last.spi", nullptr);
  EXPECT_TRUE(args.fix_mode);
  EXPECT_EQ(args.parent_process_id, 6699u);
  EXPECT_TRUE(args.just_checking);
  EXPECT_FALSE(args.post_fix_mode);
  EXPECT_EQ(args.launch_record_path, "last.spi");
  EXPECT_EQ(args.cached_arguments, "/Other first.spi last.spi");

  args = ParseStartupArguments("/FIXED", nullptr);
  EXPECT_TRUE(args.fix_mode);
  EXPECT_EQ(args.parent_process_id, 0u);

  args = ParseStartupArguments("", nullptr);
  EXPECT_EQ(args.launch_record_path, "");
  EXPECT_EQ(args.cached_arguments, "");
}

TEST(CommandLineArgs, PostFixReadsTheCachedValueOnceAfterTheCommandLine) {
  int reads = 0;
  auto cached = [&]() -> std::optional<std::string> {
    ++reads;
    return "/POSTFIX \"C:\\a b\\rec.spi\" /x";
  };
  StartupArguments args = ParseStartupArguments("/POSTFIX /NOMOTD first.spi", cached);
  EXPECT_TRUE(args.post_fix_mode);
  EXPECT_EQ(reads, 1);
  EXPECT_EQ(args.launch_record_path, "C:\\a b\\rec.spi");
  EXPECT_EQ(args.cached_arguments, "first.spi \"C:\\a b\\rec.spi\" /x");

  args = ParseStartupArguments("/POSTFIX", [] { return std::optional<std::string>(); });
  EXPECT_EQ(args.cached_arguments, "");
}

TEST(CommandLineArgs, CachedArgumentsStayWithinTheirBuffer) {
  std::string cached;
  std::string long_token(600, 'x');
  AppendCachedArgument(cached, long_token);
  AppendCachedArgument(cached, long_token);  // would pass 1023: left out whole
  AppendCachedArgument(cached, "short");
  EXPECT_EQ(cached, long_token + " short");
  StartupArguments args = ParseStartupArguments(std::string(5000, 'y') + " z", nullptr);
  EXPECT_EQ(args.cached_arguments, "z");
  EXPECT_LE(args.cached_arguments.size(), kMaxCommandLineLength);
}

TEST(CommandLineArgs, LaunchTargetAndAlternateCommandLines) {
  LaunchTargetOptions options;
  EXPECT_EQ(BuildLaunchTargetCommandLine("C:\\Z\\System\\ZOMA.EXE", "a.spi", options),
            "\"C:\\Z\\System\\ZOMA.EXE\" a.spi");
  options.add_postfix = true;
  options.add_nomotd = true;
  options.extra_arguments = "-window";
  EXPECT_EQ(BuildLaunchTargetCommandLine("C:\\Z\\Programs\\ZomaUp.exe", "\"a b\" c", options),
            "\"C:\\Z\\Programs\\ZomaUp.exe\" /POSTFIX /NOMOTD \"a b\" c -window");
  options.extra_arguments = "";
  EXPECT_EQ(BuildLaunchTargetCommandLine("T", "", options), "\"T\" /POSTFIX /NOMOTD ");

  EXPECT_EQ(BuildAlternateCommandLine("C:\\Z\\Alternate\\ZomaUp.exe", 0x1a2b, "k=v \"a=b c\""),
            "C:\\Z\\Alternate\\ZomaUp.exe /FIX 00001a2b k\\=v \"a\\=b c\"");
  // A program path with a space stays one token for the child.
  EXPECT_EQ(BuildAlternateCommandLine("C:\\My Z\\Alternate\\ZomaUp.exe", 7, ""),
            "\"C:\\My Z\\Alternate\\ZomaUp.exe\" /FIX 00000007 ");
}

}  // namespace
}  // namespace zoma
