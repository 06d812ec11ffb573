// Evaluator services: argument collection and counts, the minimum-argument rule,
// integer reading, names, user data kept between calls, and the C interface for
// extension modules.
#include "script/evaluator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/tessel.h"
#include "script/tessel_extension.h"

namespace script {
namespace {

std::vector<std::string> recorded;

void Record(Call& call) {
  recorded.clear();
  for (int i = 0; i < call.argc; ++i) recorded.emplace_back(call.Raw(i));
  call.Write("ran");
}

void Count(Call& call) {
  intptr_t n = reinterpret_cast<intptr_t>(call.user_data);
  call.WriteInteger(n);
  call.user_data = reinterpret_cast<void*>(n + 1);
}

class EvaluatorTest : public ::testing::Test {
 protected:
  EvaluatorTest() : instance_(CreateInstance()) {}
  ~EvaluatorTest() override { DestroyInstance(instance_); }

  std::string Run(const std::string& text) {
    TextBuffer out;
    Evaluate(out, text, instance_);
    return std::string(out.view());
  }

  Instance* instance_;
};

TEST_F(EvaluatorTest, CollectsArgumentsRaw) {
  RegisterBuiltin(instance_, "Rec", Record, nullptr, 0);
  const struct {
    const char* script;
    std::vector<std::string> args;
  } cases[] = {
      {"$Rec{}", {"Rec"}},
      {"$Rec{;}", {"Rec", "", ""}},
      {"$Rec{ }", {"Rec", " "}},
      {"$Rec{a;b}", {"Rec", "a", "b"}},
      {"$Rec{$x{1;2};{c;d}}", {"Rec", "$x{1;2}", "{c;d}"}},
      {"$Rec{a$;b$}c}", {"Rec", "a$;b$}c"}},
      {"$Rec skipped {x}", {"Rec", "x"}},
      {"$Rec{unterminated;arg", {"Rec", "unterminated", "arg"}},
      {"$Rec", {"Rec"}},
      {"$Rec$tail{y}", {"Rec", "y"}},
  };
  for (const auto& c : cases) {
    recorded.clear();
    EXPECT_EQ(Run(c.script), "ran") << c.script;
    EXPECT_EQ(recorded, c.args) << c.script;
  }
}

TEST_F(EvaluatorTest, ArgumentsFromFilesAreCopied) {
  char text[] = "skipped{a;b$;c{d;e}}rest";
  FILE* file = fmemopen(text, sizeof text - 1, "rb");
  ASSERT_NE(file, nullptr);
  Stream stream(instance_, nullptr);
  stream.AttachFileSource(file);  // closed with the stream
  ScratchBuffer storage(instance_);
  std::vector<std::string_view> args;
  CollectArguments(stream, storage, args, false);
  EXPECT_EQ(args, (std::vector<std::string_view>{"a", "b$;c{d;e}"}));
  EXPECT_EQ(stream.Get(), 'r');
}

TEST_F(EvaluatorTest, TooFewArgumentsDoNothing) {
  RegisterBuiltin(instance_, "Two", Record, nullptr, 2);
  recorded = {"untouched"};
  EXPECT_EQ(Run("[$Two{a}]"), "[]");
  EXPECT_EQ(recorded, std::vector<std::string>{"untouched"});
  EXPECT_EQ(Run("[$Two{a;b}]"), "[ran]");
}

TEST_F(EvaluatorTest, UserDataIsKeptBetweenCalls) {
  RegisterBuiltin(instance_, "Count", Count, nullptr, 0);
  EXPECT_EQ(Run("$Count{}$Count{}$Count{}"), "012");
}

TEST(ParseInteger, ReadsTheFirstNumber) {
  const struct {
    const char* text;
    int32_t value;
  } cases[] = {
      {"42", 42},    {"  -17 apples", -17}, {"x-5", -5},    {"a - 5", 5},      {"0x1F", 31},
      {"0XfF", 255}, {"0b101", 5},          {"010", 8},     {"09", 0},         {"0q7", 0},
      {"", 0},       {"none", 0},           {"-0x10", -16}, {"4294967297", 1}, {"12abc", 12},
      {"--3", -3},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseInteger(c.text), c.value) << c.text;
}

TEST(ExtractName, TakesTheFirstIdentifier) {
  EXPECT_EQ(ExtractName("  name rest"), "name");
  EXPECT_EQ(ExtractName("$$x_1;y"), "x_1");
  EXPECT_EQ(ExtractName("!!"), "");
}

extern "C" void Greet(TesselCall* call) {
  tessel_call_write(call, "Hello, ");
  tessel_call_write(call, tessel_call_eval_plain(call, 1));
  tessel_call_write(call, static_cast<const char*>(tessel_call_user_data(call)));
  tessel_call_write_integer(call, tessel_call_eval_math(call, 2));
}

TEST_F(EvaluatorTest, ExtensionsRegisterThroughTheCInterface) {
  TesselInstance* handle = reinterpret_cast<TesselInstance*>(instance_);
  ASSERT_EQ(tessel_register_builtin(handle, "Greet", Greet, const_cast<char*>("!"), 2, 0), 0);
  ASSERT_EQ(tessel_set_variable(handle, "Who", "w$$orld", 0), 0);
  ASSERT_EQ(tessel_define_script_builtin(handle, "Twice", "$Twice1$$Twice1", 0), 0);
  EXPECT_EQ(Run("$Greet{$Who;1+2}|$Greet{only}|$Twice{ab}"), "Hello, w$orld!3||abab");
  EXPECT_EQ(tessel_register_builtin(handle, nullptr, Greet, nullptr, 0, 0), -1);
}

TEST_F(EvaluatorTest, NestingLimitStopsRunawayRecursion) {
  std::string out = Run("$F{f;x$f{}}$f{}after");
  EXPECT_TRUE(instance_->nesting_limit_hit());
  EXPECT_FALSE(out.empty());
  EXPECT_EQ(out.find_first_not_of('x'), std::string::npos);
  // A new evaluation starts afresh.
  EXPECT_EQ(Run("ok"), "ok");
  EXPECT_FALSE(instance_->nesting_limit_hit());
}

TEST_F(EvaluatorTest, ATextPastItsLimitStopsTheEvaluationInOrder) {
  const int depth = instance_->tree().depth();
  // Inside a user function's scope and a loop's, several levels down.
  std::string out =
      Run("before$F{big;$ForList{i;$Length{$Repeat{$Repeat{x;4096};100000}};a}}$big{}after");
  EXPECT_TRUE(instance_->memory_limit_hit());
  EXPECT_EQ(out, "before");
  EXPECT_EQ(instance_->tree().depth(), depth);  // every scope it opened is closed
  EXPECT_EQ(Run("$S{v;1}ok$v"), "ok1");
  EXPECT_FALSE(instance_->memory_limit_hit());
}

}  // namespace
}  // namespace script
