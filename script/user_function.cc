// User functions and block control.
#include "script/user_function.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace script {
namespace {

struct UserFunction : OwnedRecord {
  uint32_t flags;
  std::string body;
  uint32_t replaced_flags;  // flags of the variable the body came from
};

int silent_counter = 1;

void ReleaseUserFunction(OwnedRecord* record) { delete static_cast<UserFunction*>(record); }

void RunUserFunction(Call& call);

Value* MakeFunctionValue(std::string_view body, uint32_t function_flags, uint32_t replaced) {
  UserFunction* function = new UserFunction();
  function->release = ReleaseUserFunction;
  function->flags = function_flags;
  function->body.assign(body);
  function->replaced_flags = replaced;
  Value* value = MakeBuiltinValue(RunUserFunction, function, 0);
  value->flags = kOwnsRecord;
  return value;
}

void AppendDecimal(std::string& out, long long n) { out += std::to_string(n); }

// Walks outward from the call's stream, ending streams up to the block of the marker's
// kind (or to the outermost without a marker).
Stream* EndBlocks(Call& call, bool stop_matching) {
  const BlockMarker* marker = static_cast<const BlockMarker*>(call.user_data);
  for (Stream* stream = call.out; stream; stream = stream->parent()) {
    stream->ended = true;
    const BlockMarker* block = stream->marker();
    if (block == nullptr) continue;
    bool matches = marker && std::strcmp(block->kind, marker->kind) == 0;
    if (block->stop && (!matches || stop_matching)) *block->stop = true;
    if (matches) return stream;
  }
  return nullptr;
}

void EndBlocksAndContinueWithValue(Call& call, bool stop_matching) {
  if (call.user_data == nullptr) {
    // Exit: the code is read before evaluation is wound down.
    if (call.Has(1)) call.instance->SetExitCode(call.Math(1));
    EndBlocks(call, true);
    call.instance->Halt();
    return;
  }
  Stream* block = EndBlocks(call, stop_matching);
  if (block && call.Has(1)) EvaluateInto(*block, call.Raw(1), "Return");
}

void RunUserFunction(Call& call) {
  Instance* instance = call.instance;
  SymbolTree& tree = instance->tree();
  const UserFunction* function = static_cast<const UserFunction*>(call.user_data);
  const uint32_t flags = function->flags;
  const bool no_scope = flags & kNoScope;
  const std::string name(call.Raw(0));

  if (!no_scope) tree.PushScope();
  const int scope = tree.depth();
  std::string variable;
  auto bind = [&](std::string_view text) {
    tree.Bind(variable, MakeTextValue(tree, text, kOwnsCopy), no_scope, scope);
  };
  for (int i = 0; i < call.argc; ++i) {
    variable = name;
    AppendDecimal(variable, i);
    if (i == 0) {
      bind(name);
    } else if (flags & kDontEvaluateArguments) {
      bind(call.Raw(i));
    } else {
      bind(call.Script(i));
    }
  }
  variable = name + "Argc";
  bind(std::to_string(call.argc));
  tree.Bind("CurrentFunction", MakeTextValue(tree, name, kOwnsCopy), no_scope, scope);
  BlockMarker marker{"**BSN**", "function", nullptr};
  tree.Bind("Return", MakeBuiltinValue(tree, BreakBuiltin, &marker, 0), no_scope, scope);

  ScratchBuffer converted(instance);
  std::string_view body = function->body;
  static const TokenSet standard(kStandardTokenChars);
  if (!(flags & kVerbatim) && !(instance->tokens() == standard)) {
    converted.get().Assign(body);
    ConvertTokens(converted.get(), standard, instance->tokens());
    body = converted.get().view();
  }
  if (flags & kSilent) {
    SilentLevel silent(instance);
    RunBlock(*call.out, body, &marker, true);
  } else {
    RunBlock(*call.out, body, &marker, false);
  }

  if (!no_scope) {
    tree.PopScope();
    return;
  }
  constexpr int kSelf = SymbolTree::kDeleteSelfScoped;
  tree.Delete(name + "Argc", scope, kSelf);
  tree.Delete("CurrentFunction", scope, kSelf);
  tree.Delete("Return", scope, kSelf);
  for (int i = 0; i < call.argc; ++i) tree.Delete(name + std::to_string(i), scope, kSelf);
}

}  // namespace

void DefineUserFunction(Instance* instance, std::string_view name, std::string_view body,
                        uint32_t flags, int scope) {
  TextBuffer* stored = instance->TakeBuffer();
  stored->Assign(body);
  if (!(flags & kVerbatim)) {
    static const TokenSet standard(kStandardTokenChars);
    ConvertTokens(*stored, instance->tokens(), standard);
  }
  Value* value = MakeFunctionValue(stored->view(), flags, kOwnsCopy | kStandardTokens);
  instance->GiveBuffer(stored);
  instance->tree().Bind(name, value, flags & kSelfScoped, scope);
}

void MakeFunctionOf(Instance* instance, Binding* binding, uint32_t flags) {
  const Value* variable = binding->value;
  TextBuffer* stored = instance->TakeBuffer();
  stored->Assign(variable->text());
  uint32_t replaced = variable->flags;
  if (!(flags & kVerbatim) && !(replaced & kStandardTokens)) {
    static const TokenSet standard(kStandardTokenChars);
    ConvertTokens(*stored, instance->tokens(), standard);
    replaced |= kStandardTokens;
  }
  SymbolTree::SetBindingValue(binding, MakeFunctionValue(stored->view(), flags, replaced));
  instance->GiveBuffer(stored);
}

bool RevertFunction(Binding* binding) {
  const Value* value = binding->value;
  if (value->handler != RunUserFunction) return false;
  const UserFunction* function = static_cast<const UserFunction*>(value->data);
  uint32_t flags = (function->replaced_flags & ~kOwnershipMask) | kOwnsCopy;
  SymbolTree::SetBindingValue(binding, MakeTextValue(function->body, flags));
  return true;
}

bool UserFunctionBody(const Value* value, std::string_view* body) {
  if (value->handler != RunUserFunction) return false;
  *body = static_cast<const UserFunction*>(value->data)->body;
  return true;
}

void BreakBuiltin(Call& call) { EndBlocksAndContinueWithValue(call, true); }

void ContinueBuiltin(Call& call) { EndBlocksAndContinueWithValue(call, false); }

SilentLevel::SilentLevel(Instance* instance) : instance_(instance) {
  ++silent_counter;
  SetGlobalVariable(instance_, "SilentNestingLevel", std::to_string(silent_counter), kOwnsCopy);
}

SilentLevel::~SilentLevel() {
  --silent_counter;
  SetGlobalVariable(instance_, "SilentNestingLevel", std::to_string(silent_counter), kOwnsCopy);
}

int SilentLevel::current() { return silent_counter; }

}  // namespace script
