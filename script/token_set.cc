// Token sets, the identifier class, token conversion and quoting.
#include "script/token_set.h"

#include <cstring>

namespace script {
namespace internal {

constexpr bool kIdentifierChars[256] = {
#define ROW16(x) x, x, x, x, x, x, x, x, x, x, x, x, x, x, x, x
    ROW16(false), ROW16(false), ROW16(false),
    // '0'-'9'
    true, true, true, true, true, true, true, true, true, true, false, false, false, false, false,
    false,
    // '@', 'A'-'O'
    false, true, true, true, true, true, true, true, true, true, true, true, true, true, true, true,
    // 'P'-'Z', '[', '\\', ']', '^', '_'
    true, true, true, true, true, true, true, true, true, true, true, false, false, false, false,
    true,
    // '`', 'a'-'o'
    false, true, true, true, true, true, true, true, true, true, true, true, true, true, true, true,
    // 'p'-'z'
    true, true, true, true, true, true, true, true, true, true, true, false, false, false, false,
    false, ROW16(false), ROW16(false), ROW16(false), ROW16(false), ROW16(false), ROW16(false),
    ROW16(false), ROW16(false)
#undef ROW16
};

}  // namespace internal

TokenSet::TokenSet(const char* four) {
  std::memcpy(chars, four, 4);
  chars[4] = '\0';
  std::memset(role, kNotToken, sizeof role);
  // Assigned in reverse so that, were two characters equal, the call role wins.
  for (int i = 3; i >= 0; --i) role[static_cast<uint8_t>(chars[i])] = static_cast<uint8_t>(i + 1);
}

bool TokenSet::operator==(const TokenSet& other) const {
  return std::memcmp(chars, other.chars, 4) == 0;
}

bool IsAcceptableTokenSet(const char* four) {
  for (int i = 0; i < 4; ++i) {
    if (four[i] == '\0' || IsIdentifierChar(static_cast<uint8_t>(four[i]))) return false;
    for (int j = 0; j < i; ++j) {
      if (four[i] == four[j]) return false;
    }
  }
  return true;
}

void ConvertTokens(TextBuffer& text, const TokenSet& from, const TokenSet& to) {
  if (from == to) return;
  const char* in = text.c_str();
  const size_t n = text.size();
  TextBuffer out;
  size_t i = 0;
  while (i < n) {
    int c = static_cast<uint8_t>(in[i]);
    if (c != static_cast<uint8_t>(from.call())) {
      int index = from.IndexOf(c);
      if (index >= 0) {
        out.Append(to.chars[index]);
      } else {
        if (to.IsToken(c)) out.Append(to.call());
        out.Append(static_cast<char>(c));
      }
      ++i;
      continue;
    }
    ++i;  // the call character
    out.Append(to.call());
    if (i >= n) break;
    int next = static_cast<uint8_t>(in[i]);
    if (from.IsToken(next)) {
      // An escape pair stands for its character literally; it needs an escape in the
      // new set only if it is special there too.
      if (!to.IsToken(next)) out.Truncate(out.size() - 1);
      out.Append(static_cast<char>(next));
      ++i;
    } else if (IsIdentifierChar(next)) {
      size_t start = i;
      while (i < n && IsIdentifierChar(static_cast<uint8_t>(in[i]))) ++i;
      out.Append(in + start, i - start);
      if (i >= n) break;
      int after = static_cast<uint8_t>(in[i]);
      if (after == static_cast<uint8_t>(from.call())) {
        out.Append(to.call());  // name terminator
        ++i;
      } else if (!from.IsToken(after) && to.IsToken(after)) {
        // A name terminator, then the escape the character needs in the new set.
        out.Append(to.call());
        out.Append(to.call());
        out.Append(static_cast<char>(after));
        ++i;
      }
    }
  }
  text.Swap(out);
}

void QuoteText(std::string_view text, const TokenSet& tokens, TextBuffer& out) {
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (tokens.IsToken(static_cast<uint8_t>(text[i]))) {
      out.Append(text.data() + start, i - start);
      out.Append(tokens.call());
      start = i;
    }
  }
  out.Append(text.data() + start, text.size() - start);
}

}  // namespace script
