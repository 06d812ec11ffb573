// The scripts' regular-expression syntax rewritten as a PCRE2 pattern with the same
// meaning. Scripts use a small classic syntax: branches with "|", pieces with one "*",
// "+" or "?", groups (the first nine numbered), "^", "$", ".", bracket expressions and
// a backslash that quotes any character. Everything PCRE2 would read in its own way
// ("{", "\d", "(?", POSIX classes in brackets, ...) comes out as the literal the script
// meant.
#pragma once

#include <string>
#include <string_view>

namespace script {

// Groups after the ninth still group but capture nothing.
inline constexpr int kMaxRegexGroups = 9;

struct TranslatedRegex {
  std::string pcre;  // compile with PCRE2_DOTALL | PCRE2_DOLLAR_ENDONLY
  int groups = 0;    // numbered groups, at most kMaxRegexGroups
};

// False for a pattern that is not well formed: an unbalanced parenthesis, an
// unterminated bracket expression, a reversed range, a trailing backslash, or a
// repetition with nothing (or another repetition) before it.
bool TranslateRegex(std::string_view pattern, TranslatedRegex* out);

}  // namespace script
