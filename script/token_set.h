// The four characters that play the roles of call, open, separator and close, the
// identifier character class, and the text conversions that depend on them: token
// conversion between two sets and quoting.
#pragma once

#include <cstdint>
#include <string_view>

#include "script/text_buffer.h"

namespace script {

// Roles of the token characters, as stored in TokenSet::role.
enum TokenRole : uint8_t { kNotToken = 0, kCall, kOpen, kSeparator, kClose };

struct TokenSet {
  TokenSet() : TokenSet("${;}") {}
  explicit TokenSet(const char* four);

  char call() const { return chars[0]; }
  char open() const { return chars[1]; }
  char separator() const { return chars[2]; }
  char close() const { return chars[3]; }
  bool IsToken(int c) const { return c >= 0 && role[static_cast<uint8_t>(c)] != kNotToken; }
  // Position 0..3 of `c` in the set, or -1.
  int IndexOf(int c) const { return IsToken(c) ? role[static_cast<uint8_t>(c)] - 1 : -1; }
  bool operator==(const TokenSet& other) const;

  char chars[5];      // the four characters and a NUL, for membership tests
  uint8_t role[256];  // TokenRole of every character
};

inline constexpr char kStandardTokenChars[] = "${;}";

namespace internal {
extern const bool kIdentifierChars[256];
}

// True for the 63 characters that may form a name.
inline bool IsIdentifierChar(int c) { return c >= 0 && c < 256 && internal::kIdentifierChars[c]; }

// A set is usable only when its four characters are distinct and none of them can be
// part of a name.
bool IsAcceptableTokenSet(const char* four);

// Rewrites `text` from token set `from` to token set `to`, keeping its meaning: token
// characters are mapped, characters that are special only in `to` are escaped, and
// escape pairs and name terminators are carried over.
void ConvertTokens(TextBuffer& text, const TokenSet& from, const TokenSet& to);

// Appends `text` to `out` with the call character put before every token character.
void QuoteText(std::string_view text, const TokenSet& tokens, TextBuffer& out);

}  // namespace script
