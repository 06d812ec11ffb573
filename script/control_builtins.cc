// The control-flow library: conditions, loops and output suppression. Bodies and
// conditions are raw argument texts, evaluated afresh on every iteration.
#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "script/libraries.h"
#include "script/loop.h"
#include "script/math_expression.h"
#include "script/user_function.h"

namespace script {
namespace {

constexpr FlagName kNoScopeFlag{"NoScope", 1};

bool HasNonBlank(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    return c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\v' && c != '\f';
  });
}

std::string WithSuffix(std::string_view stem, long long n) {
  std::string name(stem);
  name += std::to_string(n);
  return name;
}

void SilentBuiltin(Call& call) {
  SilentLevel silent(call.instance);
  Stream block(call.instance, call.out);
  block.AttachString(call.Raw(1), "Silent");
  block.AttachDiscard();
  EvaluateStream(block);
}

void UnSilentBuiltin(Call& call) {
  int64_t n = 0;
  if (call.Has(2)) {
    int64_t level = call.Math(2);
    n = level <= 0 ? -level : SilentLevel::current() + level;
  }
  for (Stream* stream = call.out; stream; stream = stream->parent()) {
    if (stream->owns_discarding_sink()) {
      if (n < 1) {
        EvaluateInto(stream->parent() ? *stream->parent() : *stream, call.Raw(1), "UnSilent");
        return;
      }
      --n;
    }
    if (stream->parent() == nullptr) {
      EvaluateInto(*stream, call.Raw(1), "UnSilent");
      return;
    }
  }
}

void IfBuiltin(Call& call) {
  if (call.Math(1) != 0) {
    call.EvaluateIntoOutput(call.Raw(2));
  } else if (call.Has(3)) {
    call.EvaluateIntoOutput(call.Raw(3));
  }
}

void SwitchBuiltin(Call& call) {
  const TokenSet& tokens = call.instance->tokens();
  std::string value(call.Script(1));
  std::string comparator(call.Name(2));
  if (comparator.empty()) comparator = "Same";
  const bool has_default = call.argc % 2 == 0;
  const int pairs_end = has_default ? call.argc - 1 : call.argc;
  TextBuffer& test = call.Scratch();
  TextBuffer& result = call.Scratch();
  for (int i = 3; i + 1 < pairs_end; i += 2) {
    test.Clear();
    test.Append(tokens.call());
    test.Append(comparator);
    test.Append(tokens.open());
    test.Append(value);
    test.Append(tokens.separator());
    test.Append(call.Raw(i));
    test.Append(tokens.close());
    EvaluateToBuffer(call.instance, call.out, test.view(), result);
    if (ParseInteger(result.view()) != 0) {
      call.EvaluateIntoOutput(call.Raw(i + 1));
      return;
    }
  }
  if (has_default) call.EvaluateIntoOutput(call.Raw(call.argc - 1));
}

void ForBuiltin(Call& call) {
  const bool no_scope = call.Flags(5, {kNoScopeFlag}) & 1;
  LoopFrame frame(call, "for", no_scope);
  EvaluateDiscarding(call, call.Raw(1));
  while (frame.running() && call.Math(2) != 0) {
    frame.RunBody(call.Raw(4), !no_scope);
    EvaluateDiscarding(call, call.Raw(3));
  }
}

void WhileBuiltin(Call& call) {
  const bool no_scope = call.Flags(3, {kNoScopeFlag}) & 1;
  LoopFrame frame(call, "while", no_scope);
  while (frame.running() && call.Math(1) != 0) frame.RunBody(call.Raw(2), !no_scope);
}

void ForVariableBuiltin(Call& call) {
  const TokenSet& tokens = call.instance->tokens();
  std::string name(call.Name(1));
  std::string_view initial = call.Script(2);
  const bool no_scope = call.Flags(6, {kNoScopeFlag}) & 1;
  LoopFrame frame(call, "for", no_scope);
  call.instance->tree().Bind(name, MakeTextValue(initial, kOwnsCopy), false, 0);
  std::string condition;
  condition += tokens.call();
  condition += name;
  condition += tokens.call();
  condition += call.Raw(3);
  std::string step;
  step += tokens.call();
  step += call.Name(4);
  step += tokens.open();
  step += name;
  step += tokens.close();
  while (frame.running() && EvaluateMath(call.instance, call.out, condition) != 0) {
    frame.RunBody(call.Raw(5), !no_scope);
    EvaluateDiscarding(call, step);
  }
}

void ForListBuiltin(Call& call) {
  std::string name(call.Name(1));
  SymbolTree& tree = call.instance->tree();
  LoopFrame frame(call, "forlist", false);
  for (int i = 3; i < call.argc && frame.running(); ++i) {
    tree.PushScope();
    tree.Bind(name, MakeTextValue(tree, call.Raw(i), kOwnsCopy), false, 0);
    tree.Bind("ForListIndex", MakeTextValue(tree, std::to_string(i - 2), kOwnsCopy), false, 0);
    frame.RunBody(call.Raw(2), false);
    tree.PopScope();
  }
}

void ForRangeBuiltin(Call& call) {
  Instance* instance = call.instance;
  SymbolTree& tree = instance->tree();
  std::string_view start_text = call.Script(2);
  int64_t start = HasNonBlank(start_text) ? EvaluateMath(instance, call.out, start_text) : 1;
  std::string_view end_text = call.Script(3);
  int64_t end = HasNonBlank(end_text) ? EvaluateMath(instance, call.out, end_text) : INT32_MAX;
  std::vector<std::string> stems;
  for (int i = 4; i < call.argc; ++i) {
    std::string_view stem = call.Name(i);
    if (!stem.empty()) stems.emplace_back(stem);
  }
  LoopFrame frame(call, "forrange", false);
  TextBuffer& converted = call.Scratch();
  for (int64_t i = start; i <= end && frame.running(); ++i) {
    tree.PushScope();
    bool found = false;
    for (const std::string& stem : stems) {
      Value* value = tree.FindValue(WithSuffix(stem, i));
      if (value == nullptr || !value->is_variable() || value->data == nullptr) continue;
      std::string_view text = ActiveText(instance, value, converted);
      tree.Bind(stem, MakeTextValue(tree, text, kOwnsCopy), false, 0);
      found = true;
    }
    if (found) {
      tree.Bind("ForRangeSuffix", MakeTextValue(tree, std::to_string(i), kOwnsCopy), false, 0);
      frame.RunBody(call.Raw(1), false);
    }
    tree.PopScope();
    if (!found) break;
  }
}

// The names that begin with one stem, walked in byte order.
struct StemIterator {
  std::string stem;
  std::vector<std::string> names;
  size_t next = 0;
  bool done() const { return next >= names.size(); }
  std::string_view suffix() const { return std::string_view(names[next]).substr(stem.size()); }
};

void ForEachBuiltin(Call& call) {
  Instance* instance = call.instance;
  SymbolTree& tree = instance->tree();
  std::string first(call.Name(2));
  std::string last(call.Name(3));
  const bool has_last = !last.empty();
  std::vector<StemIterator> iterators;
  for (int i = 4; i < call.argc; ++i) {
    StemIterator it;
    it.stem = call.Name(i);
    it.names = tree.NamesWithPrefix(it.stem);
    while (!it.done() && it.suffix() < first) ++it.next;
    if (!it.done()) iterators.push_back(std::move(it));
  }
  LoopFrame frame(call, "foreach", false);
  TextBuffer& converted = call.Scratch();
  while (frame.running()) {
    const StemIterator* smallest = nullptr;
    for (const StemIterator& it : iterators) {
      if (!it.done() && (smallest == nullptr || it.suffix() < smallest->suffix())) smallest = &it;
    }
    if (smallest == nullptr) break;
    std::string suffix(smallest->suffix());
    if (has_last && suffix > last) break;
    tree.PushScope();
    bool bound = false;
    for (StemIterator& it : iterators) {
      if (it.done() || it.suffix() != suffix) continue;
      Value* value = tree.FindValue(it.names[it.next]);
      if (value && value->is_variable()) {
        tree.Bind(it.stem, MakeTextValue(ActiveText(instance, value, converted), kOwnsCopy), false,
                  0);
        bound = true;
      }
      ++it.next;
    }
    if (bound) {
      tree.Bind("ForEachSuffix", MakeTextValue(suffix, kOwnsCopy), false, 0);
      frame.RunBody(call.Raw(1), false);
    }
    tree.PopScope();
  }
}

void CommentBuiltin(Call&) {}

const BuiltinRow kControlFlowBuiltins[] = {
    {"Silent", SilentBuiltin, 0, 1},
    {"UnSilent", UnSilentBuiltin, 0, 1},
    {"If", IfBuiltin, 0, 2},
    {"Switch", SwitchBuiltin, 0, 3},
    {"For", ForBuiltin, 0, 4},
    {"ForEach", ForEachBuiltin, 0, 4},
    {"ForRange", ForRangeBuiltin, 0, 4},
    {"ForVariable", ForVariableBuiltin, 0, 5},
    {"ForList", ForListBuiltin, 0, 3},
    {"While", WhileBuiltin, 0, 2},
    {"Comment", CommentBuiltin, 0, 0},
    {"Exit", BreakBuiltin, 0, 0},  // Break with no block: everything ends
};

const VariableRow kControlFlowVariables[] = {
    {"SilentNestingLevel", "1", 0},
    {"ForRangeIndex", "$ForRangeSuffix", kStandardTokens},
};

}  // namespace

void RegisterControlFlowLibrary(Instance* instance) {
  RegisterTable(instance, kControlFlowBuiltins);
  RegisterTable(instance, kControlFlowVariables);
}

}  // namespace script
