// ASCII case rules, as Windows applies them to file names, registry names, INI
// sections and switches (no locale: 8-bit characters above 127 compare as they are),
// and trimming. The one place for these: use them rather than a copy of your own.
#pragma once

#include <string>
#include <string_view>

namespace platform {

inline char ToUpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
inline char ToLowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string ToUpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = ToUpperAscii(c);
  return upper;
}

inline std::string ToLowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = ToLowerAscii(c);
  return lower;
}

inline bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (ToUpperAscii(a[i]) != ToUpperAscii(b[i])) return false;
  return true;
}

inline bool EndsWithIgnoreCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         EqualsIgnoreCase(text.substr(text.size() - suffix.size()), suffix);
}

// The C locale's white space: blank, tab, CR, LF, vertical tab, form feed.
inline constexpr std::string_view kAsciiWhiteSpace = " \t\r\n\v\f";

// `text` without the characters of `set` at either end.
inline std::string_view TrimAscii(std::string_view text, std::string_view set = kAsciiWhiteSpace) {
  std::size_t start = text.find_first_not_of(set);
  if (start == std::string_view::npos) return {};
  return text.substr(start, text.find_last_not_of(set) - start + 1);
}

inline bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

// Byte order of the upper-cased texts (bytes compared unsigned, a prefix first): < 0, 0
// or > 0.
inline int CompareIgnoreCase(std::string_view a, std::string_view b) {
  const std::size_t common = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < common; ++i) {
    const auto x = static_cast<unsigned char>(ToUpperAscii(a[i]));
    const auto y = static_cast<unsigned char>(ToUpperAscii(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

// The order NTFS keeps a directory's names in: upper-cased names, and names that differ
// only in case (possible on the host) by their exact bytes, so the order is total.
inline bool NameOrderLess(std::string_view a, std::string_view b) {
  const int folded = CompareIgnoreCase(a, b);
  return folded != 0 ? folded < 0 : a < b;
}

}  // namespace platform
