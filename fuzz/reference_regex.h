// A plain backtracking matcher written straight from the scripts' regular-expression
// syntax and matching rule, kept only to check the PCRE2 translation against: small,
// slow and obviously right rather than fast.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string_view>

namespace fuzz {

struct ReferenceMatch {
  static constexpr std::size_t kUnset = static_cast<std::size_t>(-1);
  std::array<std::size_t, 20> offsets;  // whole match, then groups 1..9
};

enum class ReferenceResult { kMatch, kNoMatch, kMalformed, kTooCostly };

// Searches `text` for the leftmost match of `pattern`; kTooCostly when the search
// needs more than `budget` steps.
ReferenceResult ReferenceSearch(std::string_view pattern, std::string_view text,
                                ReferenceMatch* match, long budget = 1'000'000);

}  // namespace fuzz
