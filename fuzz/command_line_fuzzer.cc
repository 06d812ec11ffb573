// Command lines: splitting any text ends in an argv, and an argv built into a command
// line splits back into itself. The input is read both as one command line and as argv
// elements separated by NUL bytes.
#include "fuzz/fuzz_input.h"
#include "platform/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text = fuzz::AsText(data, size);
  platform::SplitCommandLine(text);
  platform::ProgramToken token = platform::ParseProgramToken(text);
  fuzz::Require(token.rest <= text.size(), "the rest of a command line lies inside it");

  std::vector<std::string> argv = fuzz::SplitAtNul(text);
  for (const std::string& argument : argv) {
    fuzz::Require(platform::SplitCommandLine("x " + platform::QuoteArgument(argument)) ==
                      std::vector<std::string>{"x", argument},
                  "a quoted argument splits back into itself");
  }
  // A program token cannot hold a quote and is never empty; the rest must round-trip.
  if (!argv[0].empty() && argv[0].find('"') == std::string::npos) {
    fuzz::Require(platform::SplitCommandLine(platform::BuildCommandLine(argv)) == argv,
                  "a built command line splits back into its argv");
  }
  return 0;
}
