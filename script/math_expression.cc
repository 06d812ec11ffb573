// Math expression parser. Every operator has its own precedence level; the right
// operand is read at the operator's own level, so equal levels group to the right.
#include "script/math_expression.h"

#include <cstring>
#include <vector>

#include "script/evaluator.h"
#include "script/instance.h"
#include "script/stream.h"

namespace script {
namespace {

using namespace math_operator;

bool IsDigit(int c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(int c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

int32_t Power(int32_t base, int32_t exponent) {
  // The language multiplies the base by itself; squaring gives the same wrapped result
  // without looping two billion times.
  if (exponent < 1) return 1;
  uint32_t result = 1;
  uint32_t factor = static_cast<uint32_t>(base);
  uint32_t e = static_cast<uint32_t>(exponent);
  while (e) {
    if (e & 1) result *= factor;
    factor *= factor;
    e >>= 1;
  }
  return static_cast<int32_t>(result);
}

}  // namespace

int32_t CombineMath(int code, int32_t a, int32_t b) {
  const uint32_t ua = static_cast<uint32_t>(a);
  const uint32_t ub = static_cast<uint32_t>(b);
  switch (code) {
    case kLogicalOr:
      return (a != 0 || b != 0) ? 1 : 0;
    case kLogicalXor:
      return ((a != 0) != (b != 0)) ? 1 : 0;
    case kLogicalAnd:
      return (a != 0 && b != 0) ? 1 : 0;
    case kBitOr:
      return a | b;
    case kBitXor:
      return a ^ b;
    case kBitAnd:
      return a & b;
    case kNotEqual:
      return a != b;
    case kEqual:
      return a == b;
    case kGreaterEqual:
      return a >= b;
    case kGreater:
      return a > b;
    case kLessEqual:
      return a <= b;
    case kLess:
      return a < b;
    case kShiftRight:
      return a >> (b & 31);
    case kShiftLeft:
      return static_cast<int32_t>(ua << (b & 31));
    case kMinus:
      return static_cast<int32_t>(ua - ub);
    case kPlus:
      return static_cast<int32_t>(ua + ub);
    case kRemainder:
      if (b == 0 || b == -1) return 0;
      return a % b;
    case kQuotient:
      if (b == 0) return 0;
      if (b == -1) return static_cast<int32_t>(0u - ua);
      return a / b;
    case kTimes:
      return static_cast<int32_t>(ua * ub);
    case kPower:
      return Power(a, b);
    default:
      return a;
  }
}

namespace {

class MathParser {
 public:
  explicit MathParser(Stream& stream) : stream_(stream), instance_(stream.instance()) {}

  int32_t Expression(int min_precedence);

 private:
  int32_t Operand();
  int32_t CallOperand();
  int32_t GroupOperand();
  int32_t NumberOperand(int first);
  // Drops characters up to an operator; returns its code (kEnd at the end) and leaves
  // its text in `text`/`length` so it can be pushed back.
  int ScanOperator(char* text, int* length);
  // "<" or ">": alone, doubled (a shift) or followed by "=".
  int Comparison(char first, int doubled, int with_equals, int single, char* text, int* length);
  // Passes over one branch without evaluating it; returns the character that ended the
  // skip (pushed back) or -1.
  int Skip();

  Stream& stream_;
  Instance* instance_;
};

int32_t MathParser::Expression(int min_precedence) {
  int32_t value = Operand();
  for (;;) {
    if (stream_.ended || instance_->halted()) return value;
    char text[2];
    int length = 0;
    int code = ScanOperator(text, &length);
    if (code == kEnd) return value;
    if (code < min_precedence) {
      for (int i = length - 1; i >= 0; --i) stream_.Unget(static_cast<uint8_t>(text[i]));
      return value;
    }
    if (code == kQuestion) {
      if (value == 0) {
        if (Skip() == ':') {
          stream_.Get();
          value = Expression(kQuestion);
        }
      } else {
        value = Expression(kQuestion);
        if (Skip() == ':') {
          stream_.Get();
          Skip();
        }
      }
      continue;
    }
    if ((code == kLogicalAnd && value == 0) || (code == kLogicalOr && value != 0)) {
      Skip();
      continue;
    }
    int32_t right = Expression(code);
    value = CombineMath(code, value, right);
  }
}

int32_t MathParser::Operand() {
  NestingLevel level(instance_);
  if (!level.ok()) return 0;
  const TokenSet& tokens = instance_->tokens();
  int c;
  for (;;) {
    c = stream_.Get();
    if (c < 0) return 0;
    if (IsDigit(c) || c == static_cast<uint8_t>(tokens.call()) ||
        c == static_cast<uint8_t>(tokens.open()) || std::strchr("+-~!", c) != nullptr) {
      break;
    }
  }
  if (c == static_cast<uint8_t>(tokens.call())) return CallOperand();
  if (c == static_cast<uint8_t>(tokens.open())) return GroupOperand();
  if (IsDigit(c)) return NumberOperand(c);
  int32_t operand = Operand();
  switch (c) {
    case '!':
      return operand == 0 ? 1 : 0;
    case '-':
      return static_cast<int32_t>(0u - static_cast<uint32_t>(operand));
    case '~':
      return ~operand;
    default:
      return operand;
  }
}

int32_t MathParser::CallOperand() {
  int next = stream_.Get();
  if (next < 0) return 0;
  if (instance_->tokens().IsToken(next)) return 0;  // an escape pair
  if (!IsIdentifierChar(next)) {
    // A call character standing for itself would evaluate to itself for ever.
    return 0;
  }
  stream_.Unget(next);
  ScratchBuffer spill(instance_);
  std::string_view name = ReadName(stream_, spill);
  int32_t value;
  if (name == "SetTokensTo") {
    SetTokensFromStream(stream_);  // writes nothing, which reads as 0
    return 0;
  }
  const int terminator = stream_.Get();
  if (terminator != static_cast<uint8_t>(instance_->tokens().call())) stream_.Unget(terminator);
  Binding* binding = instance_->tree().FindForEvaluation(name);
  if (const Value* variable = PlainVariableText(instance_, binding)) {
    // A variable's text is parsed as it stands: no stream needed to copy it.
    value = EvaluateMath(instance_, &stream_, variable->text());
  } else {
    TextBuffer* output = instance_->TakeBuffer();
    {
      Stream call(instance_, &stream_);
      call.ShareSource(&stream_);
      call.AttachBuffer(output);
      CallResolved(call, name, binding);
      if (call.ended) stream_.ended = true;
    }
    value = EvaluateMath(instance_, &stream_, output->view());
    instance_->GiveBuffer(output);
  }
  return value;
}

int32_t MathParser::GroupOperand() {
  ScratchBuffer storage(instance_);
  ArgumentList args(instance_);
  CollectArguments(stream_, storage, *args, true);
  int32_t value = 0;
  for (std::string_view arg : *args) {
    value = EvaluateMath(instance_, &stream_, arg, "math parenthetical expression");
  }
  return value;
}

int32_t MathParser::NumberOperand(int first) {
  char digits[64];
  size_t n = 0;
  auto add = [&](int c) {
    if (n < sizeof digits - 1) digits[n++] = static_cast<char>(c);
  };
  add(first);
  bool (*accept)(int) = IsDigit;
  if (first == '0') {
    int c = stream_.Get();
    if (c == 'b' || c == 'B') {
      add(c);
      accept = [](int d) { return d == '0' || d == '1'; };
    } else if (c == 'x' || c == 'X') {
      add(c);
      accept = IsHexDigit;
    } else {
      stream_.Unget(c);
    }
  }
  for (;;) {
    int c = stream_.Get();
    if (c < 0) break;
    if (!accept(c)) {
      stream_.Unget(c);
      break;
    }
    // Only the digits that fit matter: more would overflow a 32-bit number anyway.
    add(c);
  }
  return ParseInteger(std::string_view(digits, n));
}

int MathParser::ScanOperator(char* text, int* length) {
  auto pair = [&](char first, int next, char second) {
    if (next == static_cast<uint8_t>(second)) {
      text[0] = first;
      text[1] = second;
      *length = 2;
      return true;
    }
    stream_.Unget(next);
    text[0] = first;
    *length = 1;
    return false;
  };
  for (;;) {
    int c = stream_.Get();
    if (c < 0) return kEnd;
    switch (c) {
      case '*':
        return pair('*', stream_.Get(), '*') ? kPower : kTimes;
      case '/':
        text[0] = '/';
        *length = 1;
        return kQuotient;
      case '%':
        text[0] = '%';
        *length = 1;
        return kRemainder;
      case '+':
        text[0] = '+';
        *length = 1;
        return kPlus;
      case '-':
        text[0] = '-';
        *length = 1;
        return kMinus;
      case '?':
        text[0] = '?';
        *length = 1;
        return kQuestion;
      case ':':
        text[0] = ':';
        *length = 1;
        return kColon;
      case '<':
        return Comparison('<', kShiftLeft, kLessEqual, kLess, text, length);
      case '>':
        return Comparison('>', kShiftRight, kGreaterEqual, kGreater, text, length);
      case '!':
        if (pair('!', stream_.Get(), '=')) return kNotEqual;
        continue;  // a lone "!" is dropped
      case '=':
        if (pair('=', stream_.Get(), '=')) return kEqual;
        continue;
      case '^':
        return pair('^', stream_.Get(), '^') ? kLogicalXor : kBitXor;
      case '&':
        return pair('&', stream_.Get(), '&') ? kLogicalAnd : kBitAnd;
      case '|':
        return pair('|', stream_.Get(), '|') ? kLogicalOr : kBitOr;
      default:
        continue;
    }
  }
}

int MathParser::Comparison(char first, int doubled, int with_equals, int single, char* text,
                           int* length) {
  text[0] = first;
  int next = stream_.Get();
  if (next == static_cast<uint8_t>(first) || next == '=') {
    text[1] = static_cast<char>(next);
    *length = 2;
    return next == '=' ? with_equals : doubled;
  }
  stream_.Unget(next);
  *length = 1;
  return single;
}

int MathParser::Skip() {
  const TokenSet& tokens = instance_->tokens();
  int depth = 1;
  int open_questions = 0;            // "?" waiting for their ":" in the current braces
  std::vector<int> saved_questions;  // the count outside each open brace
  for (;;) {
    int c = stream_.Get();
    if (c < 0) return -1;
    if (c == static_cast<uint8_t>(tokens.open())) {
      saved_questions.push_back(open_questions);
      open_questions = 0;
      ++depth;
    } else if (c == static_cast<uint8_t>(tokens.close())) {
      if (--depth == 0) {
        stream_.Unget(c);
        return c;
      }
      open_questions = saved_questions.back();
      saved_questions.pop_back();
    } else if (c == '?') {
      ++open_questions;
    } else if (c == ':') {
      if (depth == 1 && open_questions == 0) {
        stream_.Unget(c);
        return c;
      }
      // Pairs with a "?" inside the skipped text; a ":" inside braces never ends it.
      if (open_questions > 0) --open_questions;
    } else if (c == static_cast<uint8_t>(tokens.separator()) && depth == 1) {
      stream_.Unget(c);
      return c;
    }
  }
}

// A plain decimal number (what most counts and most call results are) has the value the
// parser would give it; reading it directly saves a stream.
bool ReadPlainNumber(std::string_view text, int32_t* value) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && text[i] == ' ') ++i;
  bool negative = i < n && text[i] == '-';
  if (negative) ++i;
  const size_t first = i;
  uint32_t result = 0;
  while (i < n && IsDigit(text[i])) result = result * 10 + static_cast<uint32_t>(text[i++] - '0');
  const size_t digits = i - first;
  if (digits == 0 || (digits > 1 && text[first] == '0')) return false;
  while (i < n && text[i] == ' ') ++i;
  if (i != n) return false;
  *value = static_cast<int32_t>(negative ? 0u - result : result);
  return true;
}

}  // namespace

int32_t EvaluateMath(Instance* instance, Stream* parent, std::string_view text, const char* name) {
  int32_t value;
  if (ReadPlainNumber(text, &value)) return value;
  Stream stream(instance, parent);
  stream.AttachString(text, name);
  stream.AttachDiscard();
  MathParser parser(stream);
  return parser.Expression(0);
}

}  // namespace script
