// Command lines as one string, the Windows way: splitting into argv by the Microsoft C
// runtime's rules, finding the program token as CreateProcess does, and quoting argv
// elements so that a child splitting the string gets them back exactly.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// argv as the Microsoft C runtime builds it from a command line. argv[0] is the
/// program token (quoted up to the next quote, else up to white space; backslashes
/// are literal there). For later arguments, 2n backslashes before a quote give n
/// backslashes and the quote toggles quoting; 2n+1 give n backslashes and a literal
/// quote; inside quotes "" is a literal quote.
std::vector<std::string> SplitCommandLine(std::string_view command_line);

/// The program token of a command line as CreateProcess reads it (without quotes),
/// and the offset where the rest of the line begins.
struct ProgramToken {
  std::string program;
  std::size_t rest = 0;
};
ProgramToken ParseProgramToken(std::string_view command_line);

/// Quotes one argument so that SplitCommandLine gives it back unchanged.
std::string QuoteArgument(std::string_view argument);

/// Joins argv into a command line (argv[0] quoted only when it holds white space).
std::string BuildCommandLine(const std::vector<std::string>& argv);

}  // namespace platform
