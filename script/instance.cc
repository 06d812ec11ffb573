// The interpreter instance and the registration services.
#include "script/instance.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "script/user_function.h"

namespace script {
namespace {

// Beyond this many nested evaluations a script is taken to recurse without end.
constexpr int kDefaultMaxNesting = 2000;
// Stack the evaluator may use below the point where evaluation started; kept well
// inside an 8 MB main-thread stack even with sanitizer-sized frames.
constexpr size_t kStackBudget = 5u << 20;

}  // namespace

Instance::Instance() : max_nesting_(kDefaultMaxNesting), stack_budget_(kStackBudget) {
  tree_.PushScope();
}

Instance::~Instance() {
  for (TextBuffer* buffer : free_buffers_) delete buffer;
  for (auto* list : free_argument_lists_) delete list;
}

bool Instance::SetTokens(const char* four) {
  if (!IsAcceptableTokenSet(four)) return false;
  tokens_ = TokenSet(four);
  return true;
}

TextBuffer* Instance::TakeBuffer() {
  if (free_buffers_.empty()) return new TextBuffer();
  TextBuffer* buffer = free_buffers_.back();
  free_buffers_.pop_back();
  buffer->Clear();
  return buffer;
}

void Instance::GiveBuffer(TextBuffer* buffer) { free_buffers_.push_back(buffer); }

std::vector<std::string_view>* Instance::TakeArgumentList() {
  if (free_argument_lists_.empty()) return new std::vector<std::string_view>();
  std::vector<std::string_view>* list = free_argument_lists_.back();
  free_argument_lists_.pop_back();
  list->clear();
  return list;
}

void Instance::GiveArgumentList(std::vector<std::string_view>* list) {
  free_argument_lists_.push_back(list);
}

bool Instance::EnterNesting() {
  const char* here = static_cast<const char*>(__builtin_frame_address(0));
  if (nesting_++ == 0) stack_base_ = here;
  if (halted_) return false;
  const bool too_deep =
      nesting_ > max_nesting_ ||
      (stack_base_ > here && static_cast<size_t>(stack_base_ - here) > stack_budget_);
  if (too_deep) {
    nesting_limit_hit_ = true;
    halted_ = true;
    return false;
  }
  return true;
}

void Instance::Resume() {
  halted_ = false;
  nesting_limit_hit_ = false;
  memory_limit_hit_ = false;
}

void RegisterBuiltin(Instance* instance, std::string_view name, Handler handler, void* user_data,
                     int min_args, int scope) {
  instance->tree().Bind(name, MakeBuiltinValue(handler, user_data, min_args), false, scope);
}

void RegisterBuiltinSelfScoped(Instance* instance, std::string_view name, Handler handler,
                               void* user_data, int min_args, int scope) {
  instance->tree().Bind(name, MakeBuiltinValue(handler, user_data, min_args), true, scope);
}

void DefineScriptBuiltin(Instance* instance, std::string_view name, const char* body,
                         uint32_t /*ownership*/, uint32_t function_flags) {
  // Bodies are written in the standard set: define them while it is active.
  TokenSet saved = instance->tokens();
  instance->SetTokens(kStandardTokenChars);
  DefineUserFunction(instance, name, body, function_flags & ~kSelfScoped, 0);
  instance->SetTokens(saved.chars);
}

void SetVariable(Instance* instance, std::string_view name, std::string_view text, uint32_t flags,
                 int scope) {
  instance->tree().Bind(name, MakeTextValue(text, flags), false, scope);
}

void SetVariableSelfScoped(Instance* instance, std::string_view name, std::string_view text,
                           uint32_t flags, int scope) {
  instance->tree().Bind(name, MakeTextValue(text, flags), true, scope);
}

void SetGlobalVariable(Instance* instance, std::string_view name, std::string_view text,
                       uint32_t flags) {
  instance->tree().Bind(name, MakeTextValue(text, flags), false, kGlobalScope);
}

void RegisterTable(Instance* instance, const BuiltinRow* rows, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    RegisterBuiltin(instance, rows[i].name, rows[i].handler,
                    reinterpret_cast<void*>(rows[i].user_data), rows[i].min_args);
  }
}

void RegisterTable(Instance* instance, const ScriptBuiltinRow* rows, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    DefineScriptBuiltin(instance, rows[i].name, rows[i].body, kOwnsNothing, rows[i].function_flags);
  }
}

void RegisterTable(Instance* instance, const VariableRow* rows, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    SetVariable(instance, rows[i].name, rows[i].text, rows[i].flags | kOwnsNothing);
  }
}

}  // namespace script
