// The number library: arithmetic, logic, comparisons, shifts and powers in call form
// (one call combines any number of arguments), the number formatter and English number
// words. All values are signed 32-bit integers that wrap around.
#include <cstdint>
#include <iterator>

#include "script/evaluator.h"
#include "script/lib/number_format.h"
#include "script/libraries.h"
#include "script/math_expression.h"

namespace script {
namespace {

enum Operation : intptr_t {
  kNot = 4096,
  kBinaryNot,
  kAbsolute,
  kAdd = 8192,
  kSubtract,
  kMultiply,
  kDivide,
  kMod,
  kAnd,
  kOr,
  kXor,
  kBinaryAnd,
  kBinaryOr,
  kBinaryXor,
  kLessThan,
  kLessThanEqual,
  kEqual,
  kGreaterThanEqual,
  kGreaterThan,
  kNotEqual,
  kShiftLeft,
  kShiftRight,
  kPowerOf,
};

Operation OperationOf(const Call& call) {
  return static_cast<Operation>(reinterpret_cast<intptr_t>(call.user_data));
}

int32_t Wrap(uint32_t value) { return static_cast<int32_t>(value); }

// The Math operator each binary built-in applies, in the order of their user data.
constexpr int kMathCodes[] = {
    math_operator::kPlus,       math_operator::kMinus,      math_operator::kTimes,
    math_operator::kQuotient,   math_operator::kRemainder,  math_operator::kLogicalAnd,
    math_operator::kLogicalOr,  math_operator::kLogicalXor, math_operator::kBitAnd,
    math_operator::kBitOr,      math_operator::kBitXor,     math_operator::kLess,
    math_operator::kLessEqual,  math_operator::kEqual,      math_operator::kGreaterEqual,
    math_operator::kGreater,    math_operator::kNotEqual,   math_operator::kShiftLeft,
    math_operator::kShiftRight, math_operator::kPower,
};
static_assert(std::size(kMathCodes) == kPowerOf - kAdd + 1);

void UnaryBuiltin(Call& call) {
  int32_t value = call.Math(1);
  switch (OperationOf(call)) {
    case kNot:
      value = value == 0;
      break;
    case kBinaryNot:
      value = ~value;
      break;
    case kAbsolute:
      value = value < 0 ? Wrap(0u - static_cast<uint32_t>(value)) : value;
      break;
    default:
      break;
  }
  call.WriteInteger(value);
}

void BinaryBuiltin(Call& call) {
  const Operation operation = OperationOf(call);
  int32_t value = call.Math(1);
  for (int i = 2; i < call.argc; ++i) {
    // And and Or stop as soon as the result is known; later arguments never run.
    if (operation == kAnd && value == 0) break;
    if (operation == kOr && value != 0) break;
    value = CombineMath(kMathCodes[operation - kAdd], value, call.Math(i));
  }
  call.WriteInteger(value);
}

void FormatBuiltin(Call& call) {
  const bool math = call.user_data != nullptr;
  int32_t value = math ? call.Math(1) : call.Integer(1);
  call.Write(FormatNumber(value, call.Plain(2)));
}

void WordsBuiltin(Call& call) {
  const bool ordinal = call.user_data != nullptr;
  const bool embellish = call.Flags(2, {{"Embellish", 1}}) & 1;
  call.Write(NumberWords(call.Math(1), ordinal, embellish));
}

const BuiltinRow kNumberBuiltins[] = {
    {"Not", UnaryBuiltin, kNot, 1},
    {"BinaryNot", UnaryBuiltin, kBinaryNot, 1},
    {"Absolute", UnaryBuiltin, kAbsolute, 1},
    {"Add", BinaryBuiltin, kAdd, 2},
    {"Subtract", BinaryBuiltin, kSubtract, 2},
    {"Multiply", BinaryBuiltin, kMultiply, 2},
    {"Divide", BinaryBuiltin, kDivide, 2},
    {"Mod", BinaryBuiltin, kMod, 2},
    {"And", BinaryBuiltin, kAnd, 2},
    {"Or", BinaryBuiltin, kOr, 2},
    {"Xor", BinaryBuiltin, kXor, 2},
    {"BinaryAnd", BinaryBuiltin, kBinaryAnd, 2},
    {"BinaryOr", BinaryBuiltin, kBinaryOr, 2},
    {"BinaryXor", BinaryBuiltin, kBinaryXor, 2},
    {"LessThan", BinaryBuiltin, kLessThan, 2},
    {"LessThanEqual", BinaryBuiltin, kLessThanEqual, 2},
    {"Equal", BinaryBuiltin, kEqual, 2},
    {"GreaterThanEqual", BinaryBuiltin, kGreaterThanEqual, 2},
    {"GreaterThan", BinaryBuiltin, kGreaterThan, 2},
    {"NotEqual", BinaryBuiltin, kNotEqual, 2},
    {"ShiftLeft", BinaryBuiltin, kShiftLeft, 2},
    {"ShiftRight", BinaryBuiltin, kShiftRight, 2},
    {"PowerOf", BinaryBuiltin, kPowerOf, 2},
    {"Number", FormatBuiltin, 0, 1},
    {"Math", FormatBuiltin, 1, 1},
    {"Cardinal", WordsBuiltin, 0, 1},
    {"Ordinal", WordsBuiltin, 1, 1},
};

}  // namespace

void RegisterNumberLibrary(Instance* instance) { RegisterTable(instance, kNumberBuiltins); }

}  // namespace script
