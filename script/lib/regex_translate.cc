// Translation of the scripts' regular expressions to PCRE2. One pass, no recursion, so
// that deeply nested patterns cost nothing but their length. Every character that is
// not a letter or digit is written as a hexadecimal escape: PCRE2 then has nothing of
// its own to read into it.
#include "script/lib/regex_translate.h"

#include <cstdint>
#include <cstdio>

namespace script {
namespace {

bool IsAlphanumeric(uint8_t c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

void AppendLiteral(std::string& out, uint8_t c) {
  if (IsAlphanumeric(c)) {
    out += static_cast<char>(c);
    return;
  }
  char escape[8];
  std::snprintf(escape, sizeof escape, "\\x{%02x}", c);
  out += escape;
}

// A bracket expression starting after its "[": writes the PCRE2 class and leaves `i`
// after the closing "]". False when it is not closed or holds a reversed range.
bool TranslateBracket(std::string_view pattern, size_t& i, std::string& out) {
  out += '[';
  if (i < pattern.size() && pattern[i] == '^') {
    out += '^';
    ++i;
  }
  // A leading "]" or "-" is a member, not the end or a range.
  bool first = true;
  while (i < pattern.size() && (pattern[i] != ']' || first)) {
    uint8_t low = static_cast<uint8_t>(pattern[i++]);
    first = false;
    if (i + 1 < pattern.size() && pattern[i] == '-' && pattern[i + 1] != ']') {
      uint8_t high = static_cast<uint8_t>(pattern[i + 1]);
      if (high < low) return false;
      i += 2;
      AppendLiteral(out, low);
      out += '-';
      AppendLiteral(out, high);
      continue;
    }
    AppendLiteral(out, low);
  }
  if (i >= pattern.size()) return false;
  ++i;  // the closing "]"
  out += ']';
  return true;
}

}  // namespace

bool TranslateRegex(std::string_view pattern, TranslatedRegex* out) {
  std::string& pcre = out->pcre;
  pcre.clear();
  out->groups = 0;
  int depth = 0;
  bool repeatable = false;  // the last thing written is an atom a repetition may follow
  size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i++];
    switch (c) {
      case '*':
      case '+':
      case '?':
        if (!repeatable) return false;
        pcre += c;
        repeatable = false;
        break;
      case '|':
        pcre += '|';
        repeatable = false;
        break;
      case '(':
        ++depth;
        if (out->groups < kMaxRegexGroups) {
          ++out->groups;
          pcre += '(';
        } else {
          pcre += "(?:";
        }
        repeatable = false;
        break;
      case ')':
        if (depth == 0) return false;
        --depth;
        pcre += ')';
        repeatable = true;
        break;
      case '^':
        // Grouped so that a repetition after it stays legal for PCRE2.
        pcre += "(?:^)";
        repeatable = true;
        break;
      case '$':
        pcre += "(?:$)";
        repeatable = true;
        break;
      case '.':
        pcre += '.';
        repeatable = true;
        break;
      case '[':
        if (!TranslateBracket(pattern, i, pcre)) return false;
        repeatable = true;
        break;
      case '\\':
        if (i >= pattern.size()) return false;
        AppendLiteral(pcre, static_cast<uint8_t>(pattern[i++]));
        repeatable = true;
        break;
      default:
        AppendLiteral(pcre, static_cast<uint8_t>(c));
        repeatable = true;
        break;
    }
  }
  return depth == 0;
}

}  // namespace script
