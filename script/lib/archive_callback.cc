// Running the cabinet built-ins' callbacks.
#include "script/lib/archive_callback.h"

#include "script/loop.h"
#include "script/math_expression.h"

namespace script {

bool ArchiveCallback::Report(int32_t message, std::initializer_list<CallbackVariable> variables,
                             const std::function<void()>& answers) {
  if (!present()) return true;
  Instance* instance = call_.instance;
  if (instance->halted()) return false;
  SymbolTree& tree = instance->tree();
  LoopFrame frame(call_, kind_, false);
  auto bind = [&](const char* name, std::string_view text) {
    tree.Bind(name, MakeTextValue(tree, text, kOwnsCopy), false, 0);
  };
  bind("CabMessage", std::to_string(message));
  for (size_t i = 0; i < count_; ++i) bind(constants_[i].name, std::to_string(constants_[i].value));
  ScratchBuffer quoted(instance);
  for (const CallbackVariable& variable : variables) {
    if (!variable.quote) {
      bind(variable.name, variable.text);
      continue;
    }
    quoted.get().Clear();
    QuoteText(variable.text, instance->tokens(), quoted.get());
    bind(variable.name, quoted.get().view());
  }
  frame.RunBody(call_.Raw(argument_), false);
  const bool go_on = frame.running();
  if (answers && !instance->halted()) answers();
  return go_on;
}

int32_t ArchiveCallback::MathAnswer(const char* name) {
  std::string text(1, call_.instance->tokens().call());
  text += name;
  return EvaluateMath(call_.instance, call_.out, text);
}

std::string ArchiveCallback::TextAnswer(const char* name, size_t limit) {
  std::string text(1, call_.instance->tokens().call());
  text += name;
  ScratchBuffer value(call_.instance);
  EvaluateToBuffer(call_.instance, call_.out, text, value.get(), true);
  return std::string(value.get().view().substr(0, limit));
}

}  // namespace script
