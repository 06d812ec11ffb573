// The debugging library: leveled debug output, messages on standard error, a counter,
// code-and-output listings, argument listings and views of the symbol tree and the
// stream statistics.
#include <cstdio>
#include <string>
#include <vector>

#include "script/evaluator.h"
#include "script/libraries.h"
#include "script/standard_streams.h"

namespace script {
namespace {

int32_t DebugLevel(Call& call) {
  Value* value = call.instance->tree().FindValue("DebugLevel");
  if (value == nullptr || !value->is_variable()) return 0;
  return ParseInteger(value->text());
}

// Evaluates `text` into the output with DebugLevel bound to `level` in a scope of its own.
void WithDebugLevel(Call& call, int32_t level, std::string_view text) {
  SymbolTree& tree = call.instance->tree();
  tree.PushScope();
  tree.Bind("DebugLevel", MakeTextValue(tree, std::to_string(level), kOwnsCopy), false, 0);
  call.EvaluateIntoOutput(text);
  tree.PopScope();
}

void DebugBuiltin(Call& call) {
  int32_t level = DebugLevel(call);
  if (level > 0) WithDebugLevel(call, level - 1, call.Raw(1));
}

void DebugOnOffBuiltin(Call& call) {
  int32_t change = static_cast<int32_t>(reinterpret_cast<intptr_t>(call.user_data));
  WithDebugLevel(call, DebugLevel(call) + change, call.Raw(1));
}

void ErrorBuiltin(Call& call) {
  std::FILE* err = StandardError();
  std::string_view text = call.Plain(1);
  if (!text.empty()) std::fwrite(text.data(), 1, text.size(), err);
  std::fputs("\r\n", err);
  std::fflush(err);
}

void CounterBuiltin(Call& call) {
  intptr_t count = reinterpret_cast<intptr_t>(call.user_data);
  call.WriteInteger(count);
  call.user_data = reinterpret_cast<void*>(count + 1);
}

void TestBuiltin(Call& call) {
  TextBuffer& quoted = call.Scratch();
  QuoteText(call.Raw(1), call.instance->tokens(), quoted);
  std::string_view output = call.Script(1);
  call.Write("**** This Tessel code:");
  call.Write(quoted.view());
  call.Write("**** produced this output:");
  call.Write(output);
  call.Write("****\r\n");
}

void PrintArgumentsBuiltin(Call& call) {
  call.Write("---------");
  for (int i = 0; i < call.argc; ++i) {
    char label[48];
    std::snprintf(label, sizeof label, "\nArgument[%d] is: \"", i);
    call.Write(label);
    call.Write(call.Raw(i));
    call.Write("\" -> \"");
    call.EvaluateIntoOutput(call.Raw(i));
    call.Write("\"");
  }
  call.Write("\r\n");
}

void DumpTreeBuiltin(Call& call) {
  call.Write("\r\n\r\nDumping tree:\r\n\r\n");
  call.instance->tree().Walk([&](const Leaf& leaf) {
    call.Write("Symbol: \"");
    call.Write(leaf.name);
    call.Write("\"\r\n");
  });
  call.Write("\r\n\r\nTree complete.\r\n");
}

// The identifier character a trie slot stands for; none for the end-of-name slot.
std::string SlotText(int slot) {
  static const char kSlotChars[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_";
  return slot < TrieNode::kEndSlot ? std::string(1, kSlotChars[slot]) : std::string();
}

void CheckTreeBuiltin(Call& call) {
  const SymbolTree& tree = call.instance->tree();
  call.Write("\r\nChecking tree integrity\r\n\r\n");
  int errors = 0;
  std::string message;
  auto report = [&](const char* format, const std::string& text) {
    int n = std::snprintf(nullptr, 0, format, text.c_str());
    message.resize(static_cast<size_t>(n) + 1);
    std::snprintf(message.data(), message.size(), format, text.c_str());
    message.pop_back();
    call.Write(message);
    ++errors;
  };
  struct Frame {
    const TrieNode* node;
    std::string path;
  };
  std::vector<Frame> stack{{tree.root(), ""}};
  while (!stack.empty()) {
    Frame frame = std::move(stack.back());
    stack.pop_back();
    for (int slot = TrieNode::kSlots - 1; slot >= 0; --slot) {
      uintptr_t child = frame.node->child[slot];
      if (child == 0) continue;
      std::string path = frame.path + SlotText(slot);
      const void* parent;
      int stored_slot;
      if (child & 1) {
        const Leaf* leaf = reinterpret_cast<const Leaf*>(child & ~uintptr_t{1});
        Binding* found = tree.Find(leaf->name, 0, false);
        // A leaf without bindings is one kept for reuse after its scope ended.
        if (leaf->head != nullptr && (found == nullptr || found->leaf != leaf)) {
          report("!!!\"%s\" is in the tree but was not found!\r\n", leaf->name);
        }
        parent = leaf->parent;
        stored_slot = leaf->slot;
      } else {
        const TrieNode* node = reinterpret_cast<const TrieNode*>(child);
        parent = node->parent;
        stored_slot = node->slot;
        stack.push_back({node, path});
      }
      if (parent != frame.node) report("!!! \"%s\" Parent pointer failed!\r\n", path);
      if (stored_slot != slot) report("!!!\"%s\" ParentIndex failed!\r\n", path);
    }
  }
  char summary[64];
  std::snprintf(summary, sizeof summary, "Tree integrity checked; %d errors found.\r\n", errors);
  call.Write(summary);
}

void StreamInfoBuiltin(Call& call) {
  const StreamStats& stats = GlobalStreamStats();
  double quotient = stats.pushback_total_depth == 0
                        ? 0.0
                        : static_cast<double>(stats.pushback_count) /
                              static_cast<double>(stats.pushback_total_depth);
  char text[256];
  std::snprintf(text, sizeof text,
                "\r\nstream count: %lu\r\nlongest unget: %lu\r\nunget stats: count / size %lu / "
                "%lu = %f\r\n",
                stats.streams_created, stats.longest_pushback, stats.pushback_count,
                stats.pushback_total_depth, quotient);
  call.Write(text);
}

const BuiltinRow kDebuggingBuiltins[] = {
    {"Debug", DebugBuiltin, 0, 1},
    {"DebugOn", DebugOnOffBuiltin, 1, 1},
    {"DebugOff", DebugOnOffBuiltin, -1, 1},
    {"Error", ErrorBuiltin, 0, 0},
    {"Counter", CounterBuiltin, 0, 0},
    {"Test", TestBuiltin, 0, 1},
    {"PrintArguments", PrintArgumentsBuiltin, 0, 0},
    {"DumpTree", DumpTreeBuiltin, 0, 0},
    {"CheckTree", CheckTreeBuiltin, 0, 0},
    {"StreamInfo", StreamInfoBuiltin, 0, 0},
};

const VariableRow kDebuggingVariables[] = {
    {"DebugVariable1", "(value of DebugVariable1)", 0},
    {"DebugVariable2", "(value of DebugVariable2 plus $DebugVariable1)", kStandardTokens},
    {"DebugLevel", "0", 0},
};

}  // namespace

void RegisterDebuggingLibrary(Instance* instance) {
  RegisterTable(instance, kDebuggingBuiltins);
  RegisterTable(instance, kDebuggingVariables);
}

}  // namespace script
