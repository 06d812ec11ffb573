// Symbol tree: the trie's leaf placement and removal, prefix order, and bindings across
// scopes (shadowing, self-scoped bindings, deletion rules).
#include "script/symbol_tree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace script {
namespace {

Value* Text(const char* text) { return MakeTextValue(text, kOwnsCopy); }

std::string TextOf(const SymbolTree& tree, const char* name) {
  const Value* value = tree.FindValue(name);
  return value ? std::string(value->text()) : "<none>";
}

// The leaf of `name` and the number of interior nodes above it.
const Leaf* LeafOf(const SymbolTree& tree, const std::string& name, int* depth) {
  const Leaf* found = nullptr;
  tree.Walk([&](const Leaf& leaf) {
    if (leaf.name == name) found = &leaf;
  });
  *depth = 0;
  if (found) {
    for (const TrieNode* node = found->parent; node != tree.root(); node = node->parent) ++*depth;
  }
  return found;
}

int CountNodes(const TrieNode* node) {
  int count = 1;
  for (uintptr_t child : node->child) {
    if (child && !(child & 1)) count += CountNodes(reinterpret_cast<const TrieNode*>(child));
  }
  return count;
}

TEST(SymbolTree, LeavesHangWhereTheirNamesDiffer) {
  SymbolTree tree;
  tree.PushScope();
  tree.Bind("Alpha", Text("1"), false, 0);
  int depth = -1;
  const Leaf* alpha = LeafOf(tree, "Alpha", &depth);
  ASSERT_NE(alpha, nullptr);
  EXPECT_EQ(depth, 0);  // alone: right under the root
  EXPECT_EQ(alpha->consumed, 1u);

  // Sharing "Alp" pushes Alpha down one node per shared character.
  tree.Bind("Alps", Text("2"), false, 0);
  alpha = LeafOf(tree, "Alpha", &depth);
  EXPECT_EQ(depth, 3);
  EXPECT_EQ(alpha->consumed, 4u);
  LeafOf(tree, "Alps", &depth);
  EXPECT_EQ(depth, 3);

  // A name that is a prefix of another ends in the end slot.
  tree.Bind("Alp", Text("3"), false, 0);
  const Leaf* alp = LeafOf(tree, "Alp", &depth);
  ASSERT_NE(alp, nullptr);
  EXPECT_EQ(alp->slot, TrieNode::kEndSlot);
  EXPECT_EQ(TextOf(tree, "Alpha"), "1");
  EXPECT_EQ(TextOf(tree, "Alps"), "2");
  EXPECT_EQ(TextOf(tree, "Alp"), "3");
  EXPECT_EQ(TextOf(tree, "Al"), "<none>");
  EXPECT_EQ(TextOf(tree, "Alphas"), "<none>");
  EXPECT_EQ(CountNodes(tree.root()), 4);

  // Removing names frees the nodes left without children, but never the root.
  tree.Delete("Alps", 0, 0);
  tree.Delete("Alp", 0, 0);
  EXPECT_EQ(TextOf(tree, "Alpha"), "1");
  tree.Delete("Alpha", 0, 0);
  EXPECT_EQ(CountNodes(tree.root()), 1);
  tree.Bind("Alpha", Text("again"), false, 0);
  EXPECT_EQ(TextOf(tree, "Alpha"), "again");
}

TEST(SymbolTree, NamesAreCaseSensitiveAndIdentifiersOnly) {
  SymbolTree tree;
  tree.PushScope();
  tree.Bind("name", Text("lower"), false, 0);
  tree.Bind("Name", Text("upper"), false, 0);
  EXPECT_EQ(TextOf(tree, "name"), "lower");
  EXPECT_EQ(TextOf(tree, "Name"), "upper");
  tree.Bind("bad name", Text("x"), false, 0);
  tree.Bind("", Text("x"), false, 0);
  EXPECT_EQ(TextOf(tree, "bad name"), "<none>");
  EXPECT_EQ(TextOf(tree, ""), "<none>");
}

TEST(SymbolTree, PrefixIterationIsInByteOrderShorterFirst) {
  SymbolTree tree;
  tree.PushScope();
  for (const char* name : {"Ab", "A", "A_1", "Aa", "A10", "AB", "A2", "A1", "B1", "A1x"}) {
    tree.Bind(name, Text("v"), false, 0);
  }
  std::vector<std::string> expected{"A", "A1", "A10", "A1x", "A2", "AB", "A_1", "Aa", "Ab"};
  EXPECT_EQ(tree.NamesWithPrefix("A"), expected);
  EXPECT_EQ(tree.NamesWithPrefix("A1"), (std::vector<std::string>{"A1", "A10", "A1x"}));
  EXPECT_EQ(tree.NamesWithPrefix("B"), (std::vector<std::string>{"B1"}));
  EXPECT_EQ(tree.NamesWithPrefix("B1"), (std::vector<std::string>{"B1"}));
  EXPECT_TRUE(tree.NamesWithPrefix("C").empty());
  EXPECT_TRUE(tree.NamesWithPrefix("B2").empty());
  EXPECT_EQ(tree.NamesWithPrefix("").size(), expected.size() + 1);
}

TEST(SymbolTree, ScopesHideAndUncover) {
  SymbolTree tree;
  tree.PushScope();  // global scope 1
  tree.Bind("x", Text("global"), false, 0);
  tree.PushScope();
  EXPECT_EQ(TextOf(tree, "x"), "global");
  tree.Bind("x", Text("inner"), false, 0);
  EXPECT_EQ(TextOf(tree, "x"), "inner");
  EXPECT_EQ(std::string(tree.Find("x", 1, false)->value->text()), "global");
  EXPECT_EQ(tree.Find("x", 1, true)->scope->number, 1);
  tree.PushScope();
  EXPECT_EQ(tree.Find("x", 3, true), nullptr);
  EXPECT_NE(tree.Find("x", 3, false), nullptr);
  // Replace overwrites the innermost binding at or outside the scope.
  tree.Replace("x", Text("replaced"), 3);
  tree.PopScope();
  EXPECT_EQ(TextOf(tree, "x"), "replaced");
  tree.PopScope();
  EXPECT_EQ(TextOf(tree, "x"), "global");
  // Binding at an outer scope from deep inside goes into the chain in order.
  tree.PushScope();
  tree.PushScope();
  tree.Bind("y", Text("three"), false, 3);
  tree.Bind("y", Text("one"), false, 1);
  tree.Bind("y", Text("two"), false, 2);
  EXPECT_EQ(TextOf(tree, "y"), "three");
  tree.PopScope();
  EXPECT_EQ(TextOf(tree, "y"), "two");
  tree.PopScope();
  EXPECT_EQ(TextOf(tree, "y"), "one");
}

TEST(SymbolTree, SelfScopedBindingsShadowWithinOneScope) {
  SymbolTree tree;
  tree.PushScope();
  tree.Bind("x", Text("first"), false, 0);
  tree.Bind("x", Text("second"), true, 0);
  tree.Bind("x", Text("third"), true, 0);
  EXPECT_EQ(TextOf(tree, "x"), "third");
  tree.Delete("x", 0, SymbolTree::kDeleteSelfScoped);
  EXPECT_EQ(TextOf(tree, "x"), "second");
  tree.Delete("x", 0, SymbolTree::kDeleteSelfScoped);
  EXPECT_EQ(TextOf(tree, "x"), "first");
  // A plain delete takes every binding of the scope, hidden ones too.
  tree.Bind("x", Text("again"), true, 0);
  tree.Delete("x", 0, 0);
  EXPECT_EQ(TextOf(tree, "x"), "<none>");
  // Popping a scope releases hidden bindings as well (checked by the sanitizers).
  tree.PushScope();
  tree.Bind("z", Text("a"), false, 0);
  tree.Bind("z", Text("b"), true, 0);
  tree.PopScope();
  EXPECT_EQ(TextOf(tree, "z"), "<none>");
}

TEST(SymbolTree, DeleteRespectsExactScopeAndEverywhere) {
  SymbolTree tree;
  tree.PushScope();
  tree.Bind("x", Text("global"), false, 0);
  tree.PushScope();
  tree.Delete("x", 2, SymbolTree::kDeleteExact);  // not bound in scope 2
  EXPECT_EQ(TextOf(tree, "x"), "global");
  tree.Delete("x", 2, 0);  // innermost at or outside scope 2: the global one
  EXPECT_EQ(TextOf(tree, "x"), "<none>");
  tree.Bind("y", Text("1"), false, 1);
  tree.Bind("y", Text("2"), false, 2);
  tree.DeleteEverywhere("y");
  EXPECT_EQ(TextOf(tree, "y"), "<none>");
  tree.PopScope();
  EXPECT_EQ(tree.NamesWithPrefix("").size(), 0u);
}

int CountLeaves(const TrieNode* node) {
  int count = 0;
  for (uintptr_t child : node->child) {
    if (child & 1) {
      ++count;
    } else if (child) {
      count += CountLeaves(reinterpret_cast<const TrieNode*>(child));
    }
  }
  return count;
}

TEST(SymbolTree, NamesOfEndedScopesAreGoneEvenWhileTheirLeavesAreKept) {
  SymbolTree tree;
  tree.Bind("Keep", Text("k"), false, 0);
  for (int pass = 0; pass < 3; ++pass) {
    tree.PushScope();
    tree.Bind("LoopIndex", Text("1"), false, 0);
    tree.Bind("LoopLast", Text("0"), false, 0);
    EXPECT_EQ(TextOf(tree, "LoopIndex"), "1");
    tree.PopScope();
  }
  EXPECT_EQ(TextOf(tree, "LoopIndex"), "<none>");
  EXPECT_EQ(tree.Find("LoopLast", 0, false), nullptr);
  std::vector<std::string> walked;
  tree.Walk([&](const Leaf& leaf) { walked.push_back(leaf.name); });
  EXPECT_EQ(walked, std::vector<std::string>{"Keep"});
  EXPECT_TRUE(tree.NamesWithPrefix("Loop").empty());
  EXPECT_TRUE(tree.NamesWithPrefix("LoopIndex").empty());
  tree.DeleteEverywhere("LoopIndex");  // nothing bound: nothing happens
  tree.PushScope();
  tree.Bind("LoopIndex", Text("again"), false, 0);
  EXPECT_EQ(TextOf(tree, "LoopIndex"), "again");
  tree.PopScope();

  // Scopes that each bind a new name keep only a bounded number of empty leaves.
  for (int i = 0; i < 1000; ++i) {
    tree.PushScope();
    tree.Bind("Name" + std::to_string(i), Text("x"), false, 0);
    tree.PopScope();
  }
  EXPECT_LE(CountLeaves(tree.root()), 100);
  EXPECT_EQ(TextOf(tree, "Keep"), "k");
}

TEST(SymbolTree, RedirectionSendsBindsToAnotherScope) {
  SymbolTree tree;
  tree.PushScope();
  tree.PushScope();
  tree.SetRedirection(2, 1);
  tree.Bind("x", Text("moved"), false, 0);
  tree.SetRedirection(0, 0);
  tree.PopScope();
  EXPECT_EQ(TextOf(tree, "x"), "moved");
}

TEST(SymbolTree, ValuesInUseOutliveTheirBinding) {
  SymbolTree tree;
  tree.PushScope();
  tree.Bind("x", Text("kept"), false, 0);
  Value* value = tree.FindValue("x");
  RetainValue(value);
  tree.Delete("x", 0, 0);
  EXPECT_EQ(value->text(), "kept");
  ReleaseValue(value);
}

}  // namespace
}  // namespace script
