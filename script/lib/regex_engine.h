// Compiled regular expressions of the scripts' syntax, matched by PCRE2 (with its JIT
// where the machine has one). Every search is bounded in time and memory, so that a
// pathological pattern ends as "no match" instead of hanging the script.
#pragma once

#include <array>
#include <memory>
#include <string_view>

#include "script/lib/regex_translate.h"

namespace script {

struct RegexMatch {
  static constexpr size_t kUnset = static_cast<size_t>(-1);
  // [0] is the whole match, [1]..[9] the numbered groups; kUnset when a group took no
  // part. Offsets into the searched text.
  std::array<size_t, 2 * (kMaxRegexGroups + 1)> offsets;

  size_t start() const { return offsets[0]; }
  size_t end() const { return offsets[1]; }
  bool has_group(int n) const { return offsets[2 * n] != kUnset; }
  std::string_view group(std::string_view text, int n) const {
    if (!has_group(n)) return {};
    return text.substr(offsets[2 * n], offsets[2 * n + 1] - offsets[2 * n]);
  }
};

class Regex {
 public:
  // Null when the pattern is not well formed.
  static std::unique_ptr<Regex> Compile(std::string_view pattern);
  ~Regex();
  Regex(const Regex&) = delete;
  Regex& operator=(const Regex&) = delete;

  // The leftmost match in `text`; false when there is none or the search ran out of
  // its budget.
  bool Search(std::string_view text, RegexMatch* match) const;
  bool Matches(std::string_view text) const;
  int groups() const { return groups_; }

 private:
  struct Impl;
  Regex(std::unique_ptr<Impl> impl, int groups);
  std::unique_ptr<Impl> impl_;
  int groups_;
};

}  // namespace script
