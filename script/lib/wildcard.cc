// Wildcard translation, one character at a time.
#include "script/lib/wildcard.h"

#include <cctype>

namespace script {
namespace {

bool IsLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }
char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

}  // namespace

std::string WildcardToRegex(std::string_view wildcard) {
  std::string out = "^";
  size_t i = 0;
  while (i < wildcard.size()) {
    const char c = wildcard[i++];
    switch (c) {
      case '*':
        out += ".*";
        break;
      case '?':
        out += '.';
        break;
      case '$':
      case '(':
      case ')':
      case '+':
      case '.':
      case '^':
      case '|':
        out += '\\';
        out += c;
        break;
      case '[': {
        // Copied up to and with the closing "]", letters in both cases. A range of
        // letters becomes the range in each case: "a-z" read as "aA-zZ" would run from
        // "A" to "z", and "Aa-Zz" would be no range at all.
        out += '[';
        if (i < wildcard.size() && wildcard[i] == '^') out += wildcard[i++];
        const size_t first = i;  // a "]" here is a member
        while (i < wildcard.size() && (wildcard[i] != ']' || i == first)) {
          const char low = wildcard[i++];
          if (i + 1 < wildcard.size() && wildcard[i] == '-' && wildcard[i + 1] != ']') {
            const char high = wildcard[i + 1];
            i += 2;
            if (IsLetter(low) && IsLetter(high)) {
              out += {Lower(low), '-', Lower(high), Upper(low), '-', Upper(high)};
            } else {
              out += {low, '-', high};
            }
          } else if (IsLetter(low)) {
            out += Upper(low);
            out += Lower(low);
          } else {
            out += low;
          }
        }
        if (i < wildcard.size()) out += wildcard[i++];
        break;
      }
      case '{': {
        // Alternatives: "," separates them, inner braces nest; letters keep their case.
        out += '(';
        int depth = 1;
        while (i < wildcard.size() && depth > 0) {
          const char inner = wildcard[i++];
          if (inner == '{') {
            ++depth;
            out += '(';
          } else if (inner == '}') {
            --depth;
            out += ')';
          } else if (inner == ',') {
            out += '|';
          } else {
            out += inner;
          }
        }
        break;
      }
      default:
        if (IsLetter(c)) {
          out += '[';
          out += Upper(c);
          out += Lower(c);
          out += ']';
        } else {
          out += c;
        }
        break;
    }
  }
  out += '$';
  return out;
}

}  // namespace script
