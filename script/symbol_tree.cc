// Symbol tree: the name trie, binding chains and scope records.
#include "script/symbol_tree.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace script {
namespace {

Leaf* AsLeaf(uintptr_t child) {
  return (child & 1) ? reinterpret_cast<Leaf*>(child & ~uintptr_t{1}) : nullptr;
}
TrieNode* AsNode(uintptr_t child) {
  return (child & 1) ? nullptr : reinterpret_cast<TrieNode*>(child);
}
uintptr_t Tag(Leaf* leaf) { return reinterpret_cast<uintptr_t>(leaf) | 1; }

constexpr int kSlotOrder[TrieNode::kSlots] = {
    0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
    22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43,
    44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63};

// Slots in the byte order of their characters: end of name, digits, upper case,
// underscore, lower case.
constexpr int kByteOrder[TrieNode::kSlots] = {
    63, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
    11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 62, 26, 27, 28, 29, 30, 31,
    32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51};

void FreeText(Value* value) {
  switch (value->flags & kOwnershipMask) {
    case kOwnsCopy:
      if (value->data != value->short_text) std::free(value->data);
      break;
    case kOwnsBlock:
      std::free(value->data);
      break;
    case kOwnsRecord:
      if (value->data) {
        OwnedRecord* record = static_cast<OwnedRecord*>(value->data);
        record->release(record);
      }
      break;
    default:
      break;
  }
  value->data = nullptr;
  value->capacity = 0;
}

void StoreText(Value* value, std::string_view text, uint32_t flags) {
  value->flags = flags;
  value->length = text.size();
  if ((flags & kOwnershipMask) != kOwnsCopy) {
    value->data = const_cast<char*>(text.data());
    return;
  }
  char* copy = value->short_text;
  if (text.size() >= sizeof value->short_text) {
    copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy == nullptr) throw std::bad_alloc();
    value->capacity = text.size() + 1;
  }
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  value->data = copy;
}

}  // namespace

int TrieSlot(int c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return 26 + c - 'a';
  if (c >= '0' && c <= '9') return 52 + c - '0';
  if (c == '_') return 62;
  return -1;
}

Value* MakeTextValue(std::string_view text, uint32_t flags) {
  Value* value = new Value();
  StoreText(value, text, flags);
  return value;
}

Value* MakeBuiltinValue(Handler handler, void* user_data, int min_args) {
  Value* value = new Value();
  value->handler = handler;
  value->data = user_data;
  value->min_args = min_args;
  return value;
}

Value* MakeTextValue(SymbolTree& tree, std::string_view text, uint32_t flags) {
  Value* value = tree.value_pool().Take();
  value->home = &tree.value_pool();
  StoreText(value, text, flags);
  return value;
}

Value* MakeBuiltinValue(SymbolTree& tree, Handler handler, void* user_data, int min_args) {
  Value* value = tree.value_pool().Take();
  value->home = &tree.value_pool();
  value->handler = handler;
  value->data = user_data;
  value->min_args = min_args;
  return value;
}

void ResetValueText(Value* value, std::string_view text, uint32_t flags) {
  const bool copies = (flags & kOwnershipMask) == kOwnsCopy;
  if (copies && (value->flags & kOwnershipMask) == kOwnsCopy && value->handler == nullptr &&
      value->data != value->short_text && text.size() >= sizeof value->short_text &&
      text.size() < value->capacity) {
    // Overwriting a long text with another that fits: keep the block.
    std::memmove(value->data, text.data(), text.size());
    static_cast<char*>(value->data)[text.size()] = '\0';
    value->length = text.size();
    value->flags = flags;
    return;
  }
  FreeText(value);
  value->handler = nullptr;
  StoreText(value, text, flags);
}

void AppendValueText(Value* value, std::string_view text, uint32_t flags) {
  const std::string_view old = value->text();
  const size_t needed = old.size() + text.size() + 1;
  const bool owns_block = (value->flags & kOwnershipMask) == kOwnsCopy && value->data != nullptr &&
                          value->data != value->short_text;
  if (owns_block && needed <= value->capacity) {
    char* block = static_cast<char*>(value->data);
    std::memmove(block + old.size(), text.data(), text.size());
    block[needed - 1] = '\0';
  } else if (needed <= sizeof value->short_text && value->data == value->short_text) {
    std::memmove(value->short_text + old.size(), text.data(), text.size());
    value->short_text[needed - 1] = '\0';
  } else {
    const size_t capacity = needed < 64 ? 64 : needed + needed / 2;
    char* block = static_cast<char*>(std::malloc(capacity));
    if (block == nullptr) throw std::bad_alloc();
    std::memcpy(block, old.data(), old.size());
    std::memcpy(block + old.size(), text.data(), text.size());
    block[needed - 1] = '\0';
    FreeText(value);
    value->data = block;
    value->capacity = capacity;
  }
  value->length = needed - 1;
  value->flags = (flags & ~kOwnershipMask) | kOwnsCopy;
}

void RetainValue(Value* value) { ++value->refs; }

void ReleaseValue(Value* value) {
  if (--value->refs != 0) return;
  FreeText(value);
  if (value->home) {
    value->home->Give(value);
  } else {
    delete value;
  }
}

SymbolTree::SymbolTree() : root_(new TrieNode()) {}

SymbolTree::~SymbolTree() {
  depth_ = -1;  // below every scope, so that even bindings made at depth 0 go
  while (innermost_) PopScope();
  parked_.clear();  // freed with the nodes
  FreeNode(root_);
}

void SymbolTree::FreeNode(TrieNode* top) {
  // Iterative: a name may be as long as a script likes.
  std::vector<TrieNode*> pending{top};
  while (!pending.empty()) {
    TrieNode* node = pending.back();
    pending.pop_back();
    for (uintptr_t child : node->child) {
      if (Leaf* leaf = AsLeaf(child)) {
        delete leaf;
      } else if (TrieNode* inner = AsNode(child)) {
        pending.push_back(inner);
      }
    }
    delete node;
  }
}

static bool SameName(const std::string& stored, std::string_view name) {
  if (stored.size() != name.size()) return false;
  for (size_t i = name.size(); i > 0; --i) {
    if (stored[i - 1] != name[i - 1]) return false;
  }
  return true;
}

Leaf* SymbolTree::FindLeaf(std::string_view name) const {
  // Most lookups are of a few hot names; a small cache spares the walk down the trie.
  const size_t cache_slot = CacheSlot(name);
  if (Leaf* cached = cache_[cache_slot]; cached && SameName(cached->name, name)) return cached;
  Leaf* leaf = WalkToLeaf(name);
  if (leaf) cache_[cache_slot] = leaf;
  return leaf;
}

Leaf* SymbolTree::WalkToLeaf(std::string_view name) const {
  const TrieNode* node = root_;
  for (size_t pos = 0;; ++pos) {
    int slot = pos < name.size() ? TrieSlot(static_cast<uint8_t>(name[pos])) : TrieNode::kEndSlot;
    if (slot < 0) return nullptr;
    uintptr_t child = node->child[slot];
    if (child == 0) return nullptr;
    if (Leaf* leaf = AsLeaf(child)) {
      // The nodes above matched the first characters; compare the rest.
      const std::string& stored = leaf->name;
      if (stored.size() != name.size()) return nullptr;
      for (size_t i = pos; i < name.size(); ++i) {
        if (stored[i] != name[i]) return nullptr;
      }
      return leaf;
    }
    if (slot == TrieNode::kEndSlot) return nullptr;
    node = AsNode(child);
  }
}

Leaf* SymbolTree::FindOrInsertLeaf(std::string_view name) {
  if (Leaf* existing = FindLeaf(name)) return existing;
  if (name.empty()) return nullptr;
  for (char c : name) {
    if (TrieSlot(static_cast<uint8_t>(c)) < 0) return nullptr;
  }
  TrieNode* node = root_;
  for (size_t pos = 0;; ++pos) {
    int slot = pos < name.size() ? TrieSlot(static_cast<uint8_t>(name[pos])) : TrieNode::kEndSlot;
    uintptr_t child = node->child[slot];
    if (child == 0) {
      Leaf* leaf = new Leaf{std::string(name), slot == TrieNode::kEndSlot ? pos : pos + 1, nullptr,
                            node, slot};
      node->child[slot] = Tag(leaf);
      ++node->children;
      return leaf;
    }
    if (TrieNode* inner = AsNode(child)) {
      node = inner;
      continue;
    }
    Leaf* other = AsLeaf(child);
    if (other->name == name) return other;
    // The names share this character: push the other leaf one level down.
    TrieNode* inner = new TrieNode();
    inner->parent = node;
    inner->slot = slot;
    node->child[slot] = reinterpret_cast<uintptr_t>(inner);
    size_t next = pos + 1;
    int other_slot = next < other->name.size() ? TrieSlot(static_cast<uint8_t>(other->name[next]))
                                               : TrieNode::kEndSlot;
    inner->child[other_slot] = Tag(other);
    inner->children = 1;
    other->parent = inner;
    other->slot = other_slot;
    other->consumed = other_slot == TrieNode::kEndSlot ? next : next + 1;
    node = inner;
  }
}

void SymbolTree::RemoveLeaf(Leaf* leaf) {
  if (leaf->parked) {
    for (Leaf*& entry : parked_) {
      if (entry == leaf) {
        entry = parked_.back();
        parked_.pop_back();
        break;
      }
    }
  }
  Leaf*& cached = cache_[CacheSlot(leaf->name)];
  if (cached == leaf) cached = nullptr;
  TrieNode* node = leaf->parent;
  node->child[leaf->slot] = 0;
  --node->children;
  delete leaf;
  while (node != root_ && node->children == 0) {
    TrieNode* parent = node->parent;
    parent->child[node->slot] = 0;
    --parent->children;
    delete node;
    node = parent;
  }
}

Binding* SymbolTree::FindForEvaluation(std::string_view name) const {
  Leaf* leaf = FindLeaf(name);
  if (leaf == nullptr) return nullptr;
  for (Binding* b = leaf->head; b; b = b->outward) {
    if (b->scope) return b;
  }
  return nullptr;
}

Binding* SymbolTree::Find(std::string_view name, int scope, bool exact) const {
  Leaf* leaf = FindLeaf(name);
  if (leaf == nullptr) return nullptr;
  for (Binding* b = leaf->head; b; b = b->outward) {
    if (!b->scope) continue;
    if (scope == 0) return b;
    if (b->scope->number > scope) continue;
    if (exact && b->scope->number != scope) return nullptr;
    return b;
  }
  return nullptr;
}

int SymbolTree::ResolveScope(int scope) const {
  int number = (scope <= 0 || scope > depth_) ? depth_ : scope;
  if (redirect_from_ != 0 && number == redirect_from_) number = redirect_to_;
  return number;
}

Scope* SymbolTree::ScopeRecord(int number) {
  Scope** link = &innermost_;
  while (*link && (*link)->number > number) link = &(*link)->outer;
  if (*link && (*link)->number == number) return *link;
  Scope* scope = scopes_.Take();
  scope->number = number;
  scope->outer = *link;
  *link = scope;
  return scope;
}

void SymbolTree::LinkIntoScope(Binding* binding, Scope* scope) {
  binding->scope = scope;
  binding->scope_prev = nullptr;
  binding->scope_next = scope->first;
  if (scope->first) scope->first->scope_prev = binding;
  scope->first = binding;
}

void SymbolTree::UnlinkFromScope(Binding* binding) {
  Scope* scope = binding->scope;
  if (binding->scope_prev) {
    binding->scope_prev->scope_next = binding->scope_next;
  } else {
    scope->first = binding->scope_next;
  }
  if (binding->scope_next) binding->scope_next->scope_prev = binding->scope_prev;
  binding->scope = nullptr;
  binding->scope_prev = binding->scope_next = nullptr;
}

void SymbolTree::InsertInChain(Leaf* leaf, Binding* binding, int number) {
  // Deeper scopes first; shadowed bindings stay right behind the one hiding them.
  Binding** link = &leaf->head;
  while (*link && (!(*link)->scope || (*link)->scope->number > number)) link = &(*link)->outward;
  binding->outward = *link;
  *link = binding;
}

void SymbolTree::SetBindingValue(Binding* binding, Value* value) {
  Value* old = binding->value;
  binding->value = value;
  ReleaseValue(old);
}

void SymbolTree::Bind(std::string_view name, Value* value, bool self_scoped, int scope) {
  Leaf* leaf = FindOrInsertLeaf(name);
  if (leaf == nullptr) {
    ReleaseValue(value);
    return;
  }
  const int number = ResolveScope(scope);
  Binding* existing = nullptr;
  for (Binding* b = leaf->head; b; b = b->outward) {
    if (!b->scope) continue;
    if (b->scope->number == number) existing = b;
    if (b->scope->number <= number) break;
  }
  if (existing && !self_scoped) {
    SetBindingValue(existing, value);
    return;
  }
  Binding* binding = bindings_.Take();
  binding->value = value;
  binding->leaf = leaf;
  if (!existing) {
    InsertInChain(leaf, binding, number);
    LinkIntoScope(binding, ScopeRecord(number));
    return;
  }
  // Self-scoped: the new binding takes the old one's place in chain and scope list.
  Binding** link = &leaf->head;
  while (*link != existing) link = &(*link)->outward;
  binding->outward = existing;
  *link = binding;
  binding->shadowed = existing;
  TakeScopePosition(binding, existing);
}

void SymbolTree::TakeScopePosition(Binding* to, Binding* from) {
  to->scope = from->scope;
  to->scope_prev = from->scope_prev;
  to->scope_next = from->scope_next;
  if (to->scope_prev) {
    to->scope_prev->scope_next = to;
  } else {
    to->scope->first = to;
  }
  if (to->scope_next) to->scope_next->scope_prev = to;
  from->scope = nullptr;
  from->scope_prev = from->scope_next = nullptr;
}

void SymbolTree::UnlinkFromChain(Binding* binding) {
  Binding** link = &binding->leaf->head;
  while (*link != binding) link = &(*link)->outward;
  *link = binding->outward;
}

void SymbolTree::Replace(std::string_view name, Value* value, int scope) {
  int number = (scope <= 0 || scope > depth_) ? depth_ : scope;
  if (Binding* binding = Find(name, number, false)) {
    SetBindingValue(binding, value);
  } else {
    Bind(name, value, false, number);
  }
}

void SymbolTree::ParkLeaf(Leaf* leaf) {
  if (leaf->parked) return;
  if (parked_.size() >= kMaxParked) RemoveParkedLeaves();
  leaf->parked = true;
  parked_.push_back(leaf);
}

void SymbolTree::RemoveParkedLeaves() {
  std::vector<Leaf*> parked;
  parked.swap(parked_);
  for (Leaf* leaf : parked) {
    leaf->parked = false;
    if (leaf->head == nullptr) RemoveLeaf(leaf);
  }
}

void SymbolTree::DeleteBinding(Binding* binding, bool park) {
  Leaf* leaf = binding->leaf;
  while (binding) {
    Binding* hidden = binding->shadowed;
    UnlinkFromChain(binding);
    if (binding->scope) UnlinkFromScope(binding);
    ReleaseValue(binding->value);
    bindings_.Give(binding);
    binding = hidden;
  }
  if (leaf->head != nullptr) return;
  if (park) {
    ParkLeaf(leaf);
  } else {
    RemoveLeaf(leaf);
  }
}

void SymbolTree::Delete(std::string_view name, int scope, int flags) {
  Binding* target = Find(name, scope, false);
  if (target == nullptr) return;
  if ((flags & kDeleteExact) && scope != 0 && target->scope->number != scope) return;
  if (!(flags & kDeleteSelfScoped) || target->shadowed == nullptr) {
    DeleteBinding(target);
    return;
  }
  // Uncover the binding this one hides: it gets back the scope and list position.
  TakeScopePosition(target->shadowed, target);
  UnlinkFromChain(target);
  ReleaseValue(target->value);
  bindings_.Give(target);
}

void SymbolTree::DeleteEverywhere(std::string_view name) {
  for (Leaf* leaf = FindLeaf(name); leaf && leaf->head; leaf = FindLeaf(name)) {
    Binding* b = leaf->head;
    while (b->scope == nullptr) b = b->outward;  // a live one owns any hidden ones
    DeleteBinding(b);
  }
}

void SymbolTree::PopScope() {
  if (depth_ > 0) --depth_;
  while (innermost_ && innermost_->number > depth_) {
    Scope* scope = innermost_;
    while (scope->first) DeleteBinding(scope->first, true);
    innermost_ = scope->outer;
    scopes_.Give(scope);
  }
}

void SymbolTree::VisitLeaves(const TrieNode* top, const int* slot_order,
                             const std::function<void(const Leaf&)>& visit) {
  // Iterative: a name may be as long as a script likes.
  struct Frame {
    const TrieNode* node;
    int next;
  };
  std::vector<Frame> stack{{top, 0}};
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next == TrieNode::kSlots) {
      stack.pop_back();
      continue;
    }
    uintptr_t child = frame.node->child[slot_order[frame.next++]];
    if (Leaf* leaf = AsLeaf(child)) {
      if (leaf->head) visit(*leaf);  // a parked leaf names nothing
    } else if (TrieNode* inner = AsNode(child)) {
      stack.push_back({inner, 0});
    }
  }
}

void SymbolTree::Walk(const std::function<void(const Leaf&)>& visit) const {
  VisitLeaves(root_, kSlotOrder, visit);
}

std::vector<std::string> SymbolTree::NamesWithPrefix(std::string_view prefix) const {
  std::vector<std::string> names;
  const TrieNode* node = root_;
  for (size_t pos = 0; pos < prefix.size(); ++pos) {
    int slot = TrieSlot(static_cast<uint8_t>(prefix[pos]));
    if (slot < 0) return names;
    uintptr_t child = node->child[slot];
    if (child == 0) return names;
    if (Leaf* leaf = AsLeaf(child)) {
      if (leaf->head && leaf->name.compare(0, prefix.size(), prefix) == 0) {
        names.push_back(leaf->name);
      }
      return names;
    }
    node = AsNode(child);
  }
  VisitLeaves(node, kByteOrder, [&](const Leaf& leaf) { names.push_back(leaf.name); });
  return names;
}

}  // namespace script
