// Command-line splitting and quoting by the Microsoft C runtime's rules.
#include "platform/command_line.h"

namespace platform {
namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
}  // namespace

ProgramToken ParseProgramToken(std::string_view line) {
  ProgramToken token;
  std::size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i < line.size() && line[i] == '"') {
    std::size_t close = line.find('"', i + 1);
    if (close == std::string_view::npos) close = line.size();
    token.program = std::string(line.substr(i + 1, close - i - 1));
    i = close < line.size() ? close + 1 : close;
  } else {
    std::size_t start = i;
    while (i < line.size() && !IsBlank(line[i])) ++i;
    token.program = std::string(line.substr(start, i - start));
  }
  token.rest = i;
  return token;
}

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> argv;
  ProgramToken program = ParseProgramToken(line);
  argv.push_back(program.program);
  std::size_t i = program.rest;
  for (;;) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size()) break;
    std::string argument;
    bool quoted = false;
    while (i < line.size() && (quoted || !IsBlank(line[i]))) {
      std::size_t backslashes = 0;
      while (i < line.size() && line[i] == '\\') ++backslashes, ++i;
      if (i < line.size() && line[i] == '"') {
        argument.append(backslashes / 2, '\\');
        if (backslashes % 2 == 1) {
          argument.push_back('"');
        } else if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
          argument.push_back('"');
          ++i;
        } else {
          quoted = !quoted;
        }
        ++i;
      } else {
        argument.append(backslashes, '\\');
        if (backslashes == 0) argument.push_back(line[i++]);
      }
    }
    argv.push_back(std::move(argument));
  }
  return argv;
}

std::string QuoteArgument(std::string_view argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string_view::npos)
    return std::string(argument);
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled, and the quote itself escaped.
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes * 2, '\\');  // they now stand before the closing quote
  quoted.push_back('"');
  return quoted;
}

std::string BuildCommandLine(const std::vector<std::string>& argv) {
  std::string line;
  for (std::size_t i = 0; i < argv.size(); ++i) {
    if (i > 0) line.push_back(' ');
    if (i == 0)
      line += argv[0].find_first_of(" \t") == std::string::npos ? argv[0] : '"' + argv[0] + '"';
    else
      line += QuoteArgument(argv[i]);
  }
  return line;
}

}  // namespace platform
