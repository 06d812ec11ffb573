// The core library: variables, functions, lookup, scopes and the environment.
#include <cstdlib>
#include <string>
#include <vector>

#include "script/environment.h"
#include "script/libraries.h"
#include "script/user_function.h"

namespace script {
namespace {

enum SetFlags : int32_t {
  kSetVerbatim = 0x10000,
  kSetCreate = 0x20000,
  kSetSelfScoped = 0x40000,
  kSetConvertTokens = 0x80000,
};

const TokenSet& Standard() {
  static const TokenSet standard(kStandardTokenChars);
  return standard;
}

// Converts `text` from the active set to the standard one in `scratch`.
std::string_view ToStandard(Call& call, std::string_view text) {
  TextBuffer& scratch = call.Scratch();
  scratch.Assign(text);
  ConvertTokens(scratch, call.instance->tokens(), Standard());
  return scratch.view();
}

// Gives the innermost binding of `name` at or outside `scope` the text, or binds it in
// `scope` when there is none.
void AssignVariable(SymbolTree& tree, std::string_view name, int scope, std::string_view text,
                    uint32_t value_flags) {
  Binding* binding = tree.Find(name, scope, false);
  if (binding == nullptr) {
    tree.Bind(name, MakeTextValue(tree, text, value_flags), false, scope);
  } else if (binding->value->refs == 1 && binding->value->is_variable()) {
    // The common case of overwriting a variable nobody is reading: reuse its record.
    ResetValueText(binding->value, text, value_flags);
  } else {
    SymbolTree::SetBindingValue(binding, MakeTextValue(tree, text, value_flags));
  }
}

// $Set{s;$s...}: a text that begins with the variable's own plain value keeps that value
// where it is and appends the rest, so building a text piece by piece costs per piece
// instead of copying everything held so far. Returns false (nothing done) when the
// value argument does not have that form.
bool AppendToOwnValue(Call& call, std::string_view name, int scope) {
  Instance* instance = call.instance;
  const std::string_view raw = call.Raw(2);
  const char call_char = instance->tokens().call();
  const size_t after = 1 + name.size();
  // Near the nesting limit the usual path decides what a stopped evaluation leaves.
  if (instance->halted() || instance->nesting() + 2 > instance->max_nesting() ||
      raw.size() < after || raw[0] != call_char || raw.substr(1, name.size()) != name ||
      name == "SetTokensTo") {
    return false;
  }
  if (after < raw.size() && IsIdentifierChar(static_cast<uint8_t>(raw[after]))) return false;
  SymbolTree& tree = instance->tree();
  Binding* binding = tree.Find(name, scope, false);
  if (binding == nullptr || binding != tree.FindForEvaluation(name) ||
      PlainVariableText(instance, binding) == nullptr) {
    return false;
  }
  // The reference ends at its name, or takes one call character after it with it.
  const size_t rest_start = after < raw.size() && raw[after] == call_char ? after + 1 : after;
  // Held, the value cannot change in place while the rest is evaluated.
  Value* value = binding->value;
  RetainValue(value);
  TextBuffer& rest = call.Scratch();
  EvaluateToBuffer(instance, call.out, raw.substr(rest_start), rest);
  Binding* target = tree.Find(name, scope, false);
  if (target != nullptr && target->value == value && value->refs == 2) {
    ReleaseValue(value);
    AppendValueText(value, rest.view(), kOwnsCopy);
    return true;
  }
  // The rest rebound or replaced the variable: assign the whole text the usual way.
  TextBuffer& whole = call.Scratch();
  whole.Assign(value->text());
  whole.Append(rest.view());
  ReleaseValue(value);
  AssignVariable(tree, name, scope, whole.view(), kOwnsCopy);
  return true;
}

void SetBuiltin(Call& call) {
  SymbolTree& tree = call.instance->tree();
  std::string name(call.Name(1));
  int32_t flags = static_cast<int32_t>(reinterpret_cast<intptr_t>(call.user_data)) |
                  call.Flags(3, {{"Verbatim", kSetVerbatim},
                                 {"Create", kSetCreate},
                                 {"SelfScoped", kSetSelfScoped},
                                 {"ConvertTokens", kSetConvertTokens}});
  int scope = call.Scope(4);
  constexpr int32_t kPlainAssignment =
      kSetVerbatim | kSetCreate | kSetSelfScoped | kSetConvertTokens;
  if (!(flags & kPlainAssignment) && AppendToOwnValue(call, name, scope)) return;
  std::string_view text = (flags & kSetVerbatim) ? call.Raw(2) : call.Script(2);
  uint32_t value_flags = kOwnsCopy;
  if (flags & kSetConvertTokens) {
    text = ToStandard(call, text);
    value_flags |= kStandardTokens;
  }
  if (flags & kSetSelfScoped) {
    tree.Bind(name, MakeTextValue(tree, text, value_flags), true, scope);
    return;
  }
  if (flags & kSetCreate) {
    tree.Bind(name, MakeTextValue(tree, text, value_flags), false, scope);
    return;
  }
  AssignVariable(tree, name, scope, text, value_flags);
}

void FunctionBuiltin(Call& call) {
  SymbolTree& tree = call.instance->tree();
  std::string name(call.Name(1));
  uint32_t flags =
      static_cast<uint32_t>(call.Flags(3, {{"DontEvaluateArguments", kDontEvaluateArguments},
                                           {"NoScope", kNoScope},
                                           {"Verbatim", kVerbatim},
                                           {"SelfScoped", kSelfScoped},
                                           {"Silent", kSilent}}));
  int scope = call.Scope(4);
  if (call.argc == 2) {
    Binding* binding = tree.FindForEvaluation(name);
    if (binding && binding->value->is_variable()) MakeFunctionOf(call.instance, binding, flags);
    return;
  }
  DefineUserFunction(call.instance, name, call.Raw(2), flags,
                     (flags & kSelfScoped) ? tree.depth() : scope);
}

void UnFunctionBuiltin(Call& call) {
  Binding* binding = call.instance->tree().FindForEvaluation(call.Name(1));
  if (binding) RevertFunction(binding);
}

void DeleteBuiltin(Call& call) {
  SymbolTree& tree = call.instance->tree();
  std::string name(call.Name(1));
  int32_t flags = call.Flags(2, {{"Exact", 1}, {"All", 2}, {"SelfScoped", 4}});
  int scope = call.Scope(3);
  if (flags & 2) {
    tree.DeleteEverywhere(name);
    return;
  }
  int delete_flags = ((flags & 1) ? SymbolTree::kDeleteExact : 0) |
                     ((flags & 4) ? SymbolTree::kDeleteSelfScoped : 0);
  tree.Delete(name, scope, delete_flags);
}

// Evaluates a variable into the output or calls a built-in with `args[first..]` as its
// arguments.
void UseBinding(Call& call, Value* value, const std::string& name, int first) {
  // $L{L;L;L;...} calls built-ins from built-ins without a stream in between.
  NestingLevel level(call.instance);
  if (!level.ok()) return;
  RetainedValue keep(value);
  if (value->is_variable()) {
    EvaluateVariable(*call.out, value);
  } else {
    std::vector<std::string_view> args{name};
    for (int i = first; i < call.argc; ++i) args.push_back(call.args[i]);
    InvokeBuiltin(call.instance, value, *call.out, static_cast<int>(args.size()), args.data());
  }
}

// Writes a variable's text or a user function's body, as stored or quoted.
void WriteStoredText(Call& call, const Value* value, bool quote) {
  std::string_view text;
  TextBuffer& converted = call.Scratch();
  if (value->is_variable()) {
    text = ActiveText(call.instance, value, converted);
  } else if (UserFunctionBody(value, &text)) {
    converted.Assign(text);
    ConvertTokens(converted, Standard(), call.instance->tokens());
    text = converted.view();
  } else {
    return;
  }
  if (!quote) {
    call.Write(text);
    return;
  }
  TextBuffer& quoted = call.Scratch();
  QuoteText(text, call.instance->tokens(), quoted);
  call.Write(quoted.view());
}

void LookupBuiltin(Call& call) {
  std::string name(call.Name(1));
  Value* value = call.instance->tree().FindValue(name);
  if (value) UseBinding(call, value, name, 2);
}

void PrivateLookupBuiltin(Call& call) {
  std::string name(call.Name(1));
  int32_t flags = call.Flags(2, {{"Verbatim", 1}, {"Exact", 2}, {"Quote", 4}});
  int scope = call.Has(3) ? call.Scope(3) : 0;
  Binding* binding = call.instance->tree().Find(name, scope, (flags & 2) && scope != 0);
  if (binding == nullptr) return;
  if (flags & (1 | 4)) {
    WriteStoredText(call, binding->value, flags & 4);
  } else {
    UseBinding(call, binding->value, name, 4);
  }
}

void LookupVerbatimBuiltin(Call& call) {
  Value* value = call.instance->tree().FindValue(call.Name(1));
  if (value) WriteStoredText(call, value, false);
}

void ExistsBuiltin(Call& call) {
  std::string name(call.Name(1));
  int32_t flags = call.Flags(2, {{"Exact", 1}});
  int scope = call.Has(3) ? call.Scope(3) : 0;
  bool found = call.instance->tree().Find(name, scope, (flags & 1) && scope != 0) != nullptr;
  call.Write(found ? "1" : "0");
}

void IncrementBuiltin(Call& call) {
  const int sign = static_cast<int>(reinterpret_cast<intptr_t>(call.user_data));
  std::string name(call.Name(1));
  int32_t amount = call.Has(2) ? call.Math(2) : 1;
  if (amount == 0) return;
  Binding* binding = call.instance->tree().FindForEvaluation(name);
  if (binding == nullptr || !binding->value->is_variable()) return;
  Value* value = binding->value;
  uint32_t current = static_cast<uint32_t>(ParseInteger(value->text()));
  uint32_t step = static_cast<uint32_t>(amount);
  int32_t result = static_cast<int32_t>(sign > 0 ? current + step : current - step);
  std::string digits = std::to_string(result);
  uint32_t flags = (value->flags & ~kOwnershipMask) | kOwnsCopy;
  if (value->refs == 1) {
    ResetValueText(value, digits, flags);
  } else {
    SymbolTree::SetBindingValue(binding, MakeTextValue(digits, flags));
  }
}

void GetEnvBuiltin(Call& call) {
  if (auto value = GetEnvironment(call.Name(1))) call.Write(*value);
}

void SetEnvBuiltin(Call& call) {
  std::string name(call.Name(1));
  PutEnvironment(name, call.Plain(2));
}

void GetCurrentScopeBuiltin(Call& call) { call.WriteInteger(call.instance->tree().depth()); }

void RelativeScopeBuiltin(Call& call) {
  int64_t n = call.Math(1);
  call.WriteInteger(call.instance->tree().depth() - (n < 0 ? -n : n));
}

void AliasesBuiltin(Call& call) {
  Instance* instance = call.instance;
  const TokenSet& tokens = instance->tokens();
  std::string prefix(call.Name(2));
  int32_t flags =
      call.Flags(3, {{"SelfScoped", kSetSelfScoped}, {"ConvertTokens", kSetConvertTokens}});
  int scope = call.Scope(4);
  TextBuffer& generated = call.Scratch();
  for (long long i = 1; !instance->halted(); ++i) {
    EvaluateToBuffer(instance, call.out, call.Raw(1), generated);
    std::string name(ExtractName(generated.view()));
    if (name.empty()) break;
    std::string text(1, tokens.call());
    text += prefix;
    text += std::to_string(i);
    uint32_t value_flags = kOwnsCopy;
    std::string_view stored = text;
    if (flags & kSetConvertTokens) {
      stored = ToStandard(call, text);
      value_flags |= kStandardTokens;
    }
    instance->tree().Bind(name, MakeTextValue(stored, value_flags), flags & kSetSelfScoped, scope);
  }
}

const BuiltinRow kCoreBuiltins[] = {
    {"Set", SetBuiltin, 0, 2},
    {"S", SetBuiltin, 0, 2},
    {"SetVerbatim", SetBuiltin, kSetVerbatim, 2},
    {"SV", SetBuiltin, kSetVerbatim, 2},
    {"Create", SetBuiltin, kSetCreate, 2},
    {"C", SetBuiltin, kSetCreate, 2},
    {"CreateVerbatim", SetBuiltin, kSetVerbatim | kSetCreate, 2},
    {"CV", SetBuiltin, kSetVerbatim | kSetCreate, 2},
    {"Function", FunctionBuiltin, 0, 1},
    {"F", FunctionBuiltin, 0, 1},
    {"UnFunction", UnFunctionBuiltin, 0, 1},
    {"Delete", DeleteBuiltin, 0, 1},
    {"D", DeleteBuiltin, 0, 1},
    {"Lookup", LookupBuiltin, 0, 1},
    {"L", LookupBuiltin, 0, 1},
    {"_Lookup", PrivateLookupBuiltin, 0, 1},
    {"_L", PrivateLookupBuiltin, 0, 1},
    {"LookupVerbatim", LookupVerbatimBuiltin, 0, 1},
    {"LV", LookupVerbatimBuiltin, 0, 1},
    {"Exists", ExistsBuiltin, 0, 1},
    {"E", ExistsBuiltin, 0, 1},
    {"Increment", IncrementBuiltin, 1, 1},
    {"Decrement", IncrementBuiltin, -1, 1},
    {"GetEnv", GetEnvBuiltin, 0, 1},
    {"SetEnv", SetEnvBuiltin, 0, 1},
    {"_GetCurrentScope", GetCurrentScopeBuiltin, 0, 0},
    {"RelativeScope", RelativeScopeBuiltin, 0, 0},
    {"Aliases", AliasesBuiltin, 0, 2},
};

const VariableRow kCoreVariables[] = {
    {"CurrentScope", "$_GetCurrentScope{}", kStandardTokens},
    {"ParentScope", "$RelativeScope{-1}", kStandardTokens},
    {"GlobalScope", "1", 0},
};

const ScriptBuiltinRow kCoreScripts[] = {
    {"DeleteAll", "$Delete{$DeleteAll1;$All}", 0},
    {"Evalify", "$Set{$Evalify1;$L{$Evalify1}}", 0},
    {"Arguments",
     "$C{__I;0;$SelfScoped}$Aliases{$Silent{$Increment{__I}}$L{Arguments$__I};"
     "$_L{CurrentFunction;;$ParentScope};;$ParentScope}$Delete{__I;$SelfScoped}",
     0},
    {"CreateN", "$ForRange{$C{$CreateN1;$CreateN;;-3};2;;CreateN}", kDontEvaluateArguments},
    {"CreatePrefix",
     "$ForRange{$C{$CreatePrefix1$$Math{$ForRangeSuffix - 1};$CreatePrefix;;-2};2;;CreatePrefix}",
     kNoScope},
    {"_CreateN", "$ForRange{$C{$_CreateN1;$_CreateN;$_CreateN2;$_CreateN3};4;;_CreateN}",
     kDontEvaluateArguments},
    {"_CreatePrefix",
     "$ForRange{$C{$_CreatePrefix1$$Math{$ForRangeSuffix - 3};$_CreatePrefix;$_CreatePrefix2;"
     "$_CreatePrefix3};4;;_CreatePrefix}",
     kNoScope},
};

}  // namespace

void RegisterCoreLibrary(Instance* instance) {
  RegisterTable(instance, kCoreBuiltins);
  RegisterTable(instance, kCoreVariables);
  RegisterTable(instance, kCoreScripts);
}

}  // namespace script
