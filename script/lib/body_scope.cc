// Body scopes.
#include "script/lib/body_scope.h"

#include <string>

namespace script {

BodyScope::BodyScope(Call& call) : call_(call) { call.instance->tree().PushScope(); }

BodyScope::~BodyScope() { call_.instance->tree().PopScope(); }

void BodyScope::Set(std::string_view name, std::string_view text) {
  SymbolTree& tree = call_.instance->tree();
  tree.Bind(name, MakeTextValue(tree, text, kOwnsCopy), false, 0);
}

void BodyScope::SetInteger(std::string_view name, long long value) {
  Set(name, std::to_string(value));
}

void BodyScope::SetQuoted(std::string_view name, std::string_view text) {
  TextBuffer& quoted = call_.Scratch();
  quoted.Clear();
  QuoteText(text, call_.instance->tokens(), quoted);
  Set(name, quoted.view());
}

void BodyScope::Run(int i) {
  if (call_.Has(i)) call_.EvaluateIntoOutput(call_.Raw(i));
}

}  // namespace script
