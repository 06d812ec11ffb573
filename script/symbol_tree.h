// The symbol tree: every name a script can use, mapped to a stack of bindings, one per
// scope that defines it. Names are indexed by a character trie whose leaves hang at the
// shallowest node that tells them apart; scopes are records that own their bindings,
// so that leaving a scope takes its definitions with it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "script/pool.h"

namespace script {

class Call;
using Handler = void (*)(Call& call);

// Value flags. The low two bits say what the text word owns.
enum ValueFlags : uint32_t {
  kOwnsNothing = 0,  // static text
  kOwnsBlock = 1,    // a block allocated with malloc, freed plainly
  kOwnsRecord = 2,   // a record with its own release operation
  kOwnsCopy = 3,     // an owned copy of the text
  kOwnershipMask = 3,
  kStandardTokens = 0x40,  // text stored in "${;}", converted when used
};

// Released through its first member, so a value can own any kind of record.
struct OwnedRecord {
  void (*release)(OwnedRecord* record);
};

// What a binding holds. Reference-counted: the evaluator keeps the value it is running
// alive even if the script replaces or deletes the binding meanwhile.
struct Value {
  Pool<Value>* home = nullptr;  // the pool it returns to, if it came from one
  int refs = 1;
  uint32_t flags = 0;
  int min_args = 0;           // built-ins: fewer arguments and the call does nothing
  Handler handler = nullptr;  // none for a plain variable
  void* data = nullptr;       // the text, the owned record or the built-in's user data
  size_t length = 0;          // text length for plain variables
  size_t capacity = 0;        // size of an owned copy's block, kept for reuse
  char short_text[32];        // owned copies this short live here, without a block

  bool is_variable() const { return handler == nullptr; }
  std::string_view text() const {
    return data ? std::string_view(static_cast<const char*>(data), length) : std::string_view();
  }
};

// A plain variable value over `text`, copied (kOwnsCopy), adopted (kOwnsBlock, from
// malloc) or borrowed (kOwnsNothing), with further flag bits.
Value* MakeTextValue(std::string_view text, uint32_t flags);
Value* MakeBuiltinValue(Handler handler, void* user_data, int min_args);
// The same, drawn from the tree's pool of value records.
Value* MakeTextValue(class SymbolTree& tree, std::string_view text, uint32_t flags);
Value* MakeBuiltinValue(class SymbolTree& tree, Handler handler, void* user_data, int min_args);
// Frees what the value owns and puts in the new text (same rules as MakeTextValue).
void ResetValueText(Value* value, std::string_view text, uint32_t flags);
// Appends to a plain variable's text in place (it becomes an owned copy with `flags`),
// growing its block geometrically so that repeated appends stay linear.
void AppendValueText(Value* value, std::string_view text, uint32_t flags);
void RetainValue(Value* value);
void ReleaseValue(Value* value);

// Keeps a value alive while it runs, also when an evaluation is stopped by unwinding
// (a text past its limit, memory running out).
class RetainedValue {
 public:
  explicit RetainedValue(Value* value) : value_(value) { RetainValue(value_); }
  ~RetainedValue() { ReleaseValue(value_); }
  RetainedValue(const RetainedValue&) = delete;
  RetainedValue& operator=(const RetainedValue&) = delete;

 private:
  Value* value_;
};

struct Scope;
struct Leaf;

struct Binding {
  Value* value = nullptr;
  Scope* scope = nullptr;       // none while shadowed by a self-scoped binding
  Binding* outward = nullptr;   // next binding of the same name
  Binding* shadowed = nullptr;  // the binding of the same scope this one hides
  Binding* scope_prev = nullptr;
  Binding* scope_next = nullptr;
  Leaf* leaf = nullptr;
};

struct Scope {
  int number;
  Scope* outer;
  Binding* first = nullptr;
};

struct TrieNode;

struct Leaf {
  std::string name;
  size_t consumed;  // characters of the name taken by the nodes above
  Binding* head = nullptr;
  TrieNode* parent;
  int slot;
  bool parked = false;  // left without bindings by a scope's end, kept for reuse
};

struct TrieNode {
  static constexpr int kSlots = 64;
  static constexpr int kEndSlot = 63;
  TrieNode* parent = nullptr;
  int slot = 0;
  int children = 0;
  // Each slot holds a TrieNode* or a Leaf* (low bit set).
  uintptr_t child[kSlots] = {};
};

// Slot of an identifier character ("A"-"Z" 0-25, "a"-"z" 26-51, "0"-"9" 52-61, "_" 62),
// or -1 for other characters.
int TrieSlot(int c);

class SymbolTree {
 public:
  SymbolTree();
  ~SymbolTree();
  SymbolTree(const SymbolTree&) = delete;
  SymbolTree& operator=(const SymbolTree&) = delete;

  int depth() const { return depth_; }
  void PushScope() { ++depth_; }
  void PopScope();

  // Innermost live binding of the name, what a reference $Name uses.
  Binding* FindForEvaluation(std::string_view name) const;
  Value* FindValue(std::string_view name) const {
    Binding* binding = FindForEvaluation(name);
    return binding ? binding->value : nullptr;
  }
  // scope 0: the innermost binding. Otherwise bindings deeper than `scope` are passed
  // over; with `exact` the first remaining one counts only if it is in that scope.
  Binding* Find(std::string_view name, int scope, bool exact) const;

  // Binds `value` (taking over the caller's reference) in `scope` (0: the current
  // depth). A name that is already bound in that scope has its value replaced, or, when
  // `self_scoped`, is hidden by a new binding until that one is deleted.
  void Bind(std::string_view name, Value* value, bool self_scoped, int scope);
  // Overwrites the innermost binding at or outside `scope`; binds in `scope` when the
  // name has none there.
  void Replace(std::string_view name, Value* value, int scope);
  // Puts `value` into an existing binding, dropping the old value.
  static void SetBindingValue(Binding* binding, Value* value);

  enum DeleteFlags { kDeleteExact = 1, kDeleteSelfScoped = 2 };
  void Delete(std::string_view name, int scope, int flags);
  void DeleteEverywhere(std::string_view name);

  // Every name in trie order.
  void Walk(const std::function<void(const Leaf&)>& visit) const;
  // Every name that begins with `prefix`, in byte order, a shorter name before its
  // extensions.
  std::vector<std::string> NamesWithPrefix(std::string_view prefix) const;
  const TrieNode* root() const { return root_; }

  Pool<Value>& value_pool() { return values_; }

  // While set, binds aimed at `from` go to `to` (OverrideScope).
  void SetRedirection(int from, int to) {
    redirect_from_ = from;
    redirect_to_ = to;
  }
  int redirect_from() const { return redirect_from_; }
  int redirect_to() const { return redirect_to_; }

 private:
  static constexpr size_t kCacheSize = 256;
  // A few characters suffice: a collision only costs the walk down the trie.
  static size_t CacheSlot(std::string_view name) {
    const size_t n = name.size();
    if (n == 0) return 0;
    uint32_t hash = static_cast<uint32_t>(n);
    hash = hash * 131 + static_cast<uint8_t>(name[0]);
    hash = hash * 131 + static_cast<uint8_t>(name[n - 1]);
    hash = hash * 131 + static_cast<uint8_t>(name[n / 2]);
    hash = hash * 131 + static_cast<uint8_t>(name[n > 1 ? n - 2 : 0]);
    return (hash ^ (hash >> 8)) & (kCacheSize - 1);
  }
  Leaf* FindLeaf(std::string_view name) const;
  Leaf* WalkToLeaf(std::string_view name) const;
  Leaf* FindOrInsertLeaf(std::string_view name);
  void RemoveLeaf(Leaf* leaf);
  Scope* ScopeRecord(int number);
  int ResolveScope(int scope) const;
  void InsertInChain(Leaf* leaf, Binding* binding, int number);
  void LinkIntoScope(Binding* binding, Scope* scope);
  void UnlinkFromScope(Binding* binding);
  void UnlinkFromChain(Binding* binding);
  // Gives `to` the scope and scope-list position of `from`, which is left shadowed.
  void TakeScopePosition(Binding* to, Binding* from);
  // Removes the binding, and the ones it shadows, from the chain and frees them. A leaf
  // left empty is removed, or with `park` kept a while: loops bind the same names in
  // every pass, and rebuilding their trie path each time is most of the cost.
  void DeleteBinding(Binding* binding, bool park = false);
  void ParkLeaf(Leaf* leaf);
  void RemoveParkedLeaves();
  void FreeNode(TrieNode* node);
  static void VisitLeaves(const TrieNode* top, const int* slot_order,
                          const std::function<void(const Leaf&)>& visit);

  // Records come from pools: function calls and loops make and drop them constantly.
  Pool<Value> values_;
  Pool<Binding> bindings_;
  Pool<Scope> scopes_;
  TrieNode* root_;
  mutable Leaf* cache_[kCacheSize] = {};  // recently found leaves by name hash
  static constexpr size_t kMaxParked = 64;
  std::vector<Leaf*> parked_;  // empty leaves kept in the trie; bounded
  Scope* innermost_ = nullptr;
  int depth_ = 0;
  int redirect_from_ = 0;
  int redirect_to_ = 0;
};

}  // namespace script
