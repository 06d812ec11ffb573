// Math expressions: signed 32-bit integer expressions read straight from raw argument
// text, with calls evaluated where an operand is expected.
#pragma once

#include <cstdint>
#include <string_view>

namespace script {

// Operator codes of Math expressions; each code is also the operator's precedence
// (higher binds tighter).
namespace math_operator {
enum Code : int {
  kColon = 1,
  kQuestion = 2,
  kLogicalOr = 3,
  kLogicalXor = 4,
  kLogicalAnd = 5,
  kBitOr = 6,
  kBitXor = 7,
  kBitAnd = 8,
  kNotEqual = 9,
  kEqual = 10,
  kGreaterEqual = 11,
  kGreater = 12,
  kLessEqual = 13,
  kLess = 14,
  kShiftRight = 15,
  kShiftLeft = 16,
  kMinus = 17,
  kPlus = 18,
  kRemainder = 19,
  kQuotient = 20,
  kTimes = 21,
  kPower = 22,
  kEnd = 24,
};
}  // namespace math_operator

/// a <op> b for a binary operator code, with two's-complement wrap-around; division
/// and remainder by zero give 0, a power with an exponent below 1 gives 1.
int32_t CombineMath(int code, int32_t a, int32_t b);

class Instance;
class Stream;

// The value of `text` as a Math expression; `parent` is the stream the text stands in.
int32_t EvaluateMath(Instance* instance, Stream* parent, std::string_view text,
                     const char* name = "EvalMath");

}  // namespace script
