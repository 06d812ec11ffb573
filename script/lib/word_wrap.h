// Word wrapping for the string library's WordWrap: paragraphs, prefixes, a quoting
// marker skipped at the start of input lines, and padded line ends.
#pragma once

#include <string>
#include <string_view>

namespace script {

struct WordWrapOptions {
  int width = 72;                 // below 1 means 72
  std::string_view prefix;        // continuation lines
  std::string_view line_end;      // empty means CR LF
  std::string_view first_prefix;  // first line of each paragraph; empty: `prefix`
  std::string_view marker;        // skipped at the start of every input line
};

std::string WordWrap(std::string_view text, const WordWrapOptions& options);

}  // namespace script
