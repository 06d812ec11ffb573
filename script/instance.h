// The interpreter instance: the symbol tree, the active token set, the free list of
// scratch buffers, the exit state and the nesting guard, plus the registration
// services through which every library adds its built-ins.
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>
#include <vector>

#include "script/pool.h"
#include "script/stream.h"
#include "script/symbol_tree.h"
#include "script/text_buffer.h"
#include "script/token_set.h"

namespace script {

// Flags of user functions (Function's flag argument and script built-ins).
enum FunctionFlags : uint32_t {
  kDontEvaluateArguments = 1,
  kNoScope = 2,
  kVerbatim = 4,
  kSelfScoped = 8,
  kSilent = 16,
};

class Instance {
 public:
  Instance();
  ~Instance();
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  SymbolTree& tree() { return tree_; }
  const TokenSet& tokens() const { return tokens_; }
  // Makes `four` the active set if it is acceptable; false leaves the set unchanged.
  bool SetTokens(const char* four);

  // Scratch buffers come from and go back to a free list.
  TextBuffer* TakeBuffer();
  void GiveBuffer(TextBuffer* buffer);
  Pool<Source>& sources() { return sources_; }
  Pool<Sink>& sinks() { return sinks_; }
  // Argument lists are recycled the same way.
  std::vector<std::string_view>* TakeArgumentList();
  void GiveArgumentList(std::vector<std::string_view>* list);

  int32_t exit_code() const { return exit_code_; }
  bool exit_code_set() const { return exit_set_; }
  void SetExitCode(int32_t code) {
    exit_code_ = code;
    exit_set_ = true;
  }

  // Exit, or a nesting limit reached: every evaluation of the instance winds down.
  // Halt may come from another thread (a watchdog that limits run time).
  bool halted() const { return halted_.load(std::memory_order_relaxed); }
  void Halt() { halted_.store(true, std::memory_order_relaxed); }
  // Clears a halt before a new top-level evaluation.
  void Resume();
  bool nesting_limit_hit() const { return nesting_limit_hit_; }
  // A text passed kMaxTextSize, or memory ran out: the evaluation was stopped.
  bool memory_limit_hit() const { return memory_limit_hit_; }
  void StopForMemory() {
    memory_limit_hit_ = true;
    Halt();
  }

  // Entered by every nested evaluation; false (and the instance halted) past the limit.
  bool EnterNesting();
  void LeaveNesting() { --nesting_; }
  int nesting() const { return nesting_; }
  int max_nesting() const { return max_nesting_; }
  void set_max_nesting(int levels) { max_nesting_ = levels; }
  // Stack the evaluator may use below the point where evaluation started.
  void set_stack_budget(size_t bytes) { stack_budget_ = bytes; }

 private:
  Pool<Source> sources_;
  Pool<Sink> sinks_;
  SymbolTree tree_;
  TokenSet tokens_;
  std::vector<TextBuffer*> free_buffers_;
  std::vector<std::vector<std::string_view>*> free_argument_lists_;
  int32_t exit_code_ = 0;
  bool exit_set_ = false;
  std::atomic<bool> halted_{false};
  bool nesting_limit_hit_ = false;
  bool memory_limit_hit_ = false;
  int nesting_ = 0;
  int max_nesting_;
  size_t stack_budget_;
  const char* stack_base_ = nullptr;
};

// A scratch buffer borrowed from the instance, on first use, for the length of a block.
class ScratchBuffer {
 public:
  explicit ScratchBuffer(Instance* instance) : instance_(instance) {}
  ~ScratchBuffer() {
    if (buffer_) instance_->GiveBuffer(buffer_);
  }
  ScratchBuffer(const ScratchBuffer&) = delete;
  ScratchBuffer& operator=(const ScratchBuffer&) = delete;
  TextBuffer& get() {
    if (buffer_ == nullptr) buffer_ = instance_->TakeBuffer();
    return *buffer_;
  }

 private:
  Instance* instance_;
  TextBuffer* buffer_ = nullptr;
};

// An argument list borrowed from the instance for the length of a block.
class ArgumentList {
 public:
  explicit ArgumentList(Instance* instance)
      : instance_(instance), list_(instance->TakeArgumentList()) {}
  ~ArgumentList() { instance_->GiveArgumentList(list_); }
  std::vector<std::string_view>& operator*() { return *list_; }
  std::vector<std::string_view>* operator->() { return list_; }

 private:
  Instance* instance_;
  std::vector<std::string_view>* list_;
};

// Holds one nesting level for the lifetime of a scope.
class NestingLevel {
 public:
  explicit NestingLevel(Instance* instance) : instance_(instance), ok_(instance->EnterNesting()) {}
  ~NestingLevel() { instance_->LeaveNesting(); }
  bool ok() const { return ok_; }

 private:
  Instance* instance_;
  bool ok_;
};

// A row of a library's registration table.
struct BuiltinRow {
  const char* name;
  Handler handler;
  intptr_t user_data;
  int min_args;  // arguments after the name; fewer and the call does nothing
};

// A built-in written in the language itself: a user function with a fixed body in the
// standard token set.
struct ScriptBuiltinRow {
  const char* name;
  const char* body;
  uint32_t function_flags;
};

// A variable a library defines at registration.
struct VariableRow {
  const char* name;
  const char* text;
  uint32_t flags;  // kStandardTokens for texts written with "${;}" calls
};

// Registration services. `scope` 0 means the current depth.
void RegisterBuiltin(Instance* instance, std::string_view name, Handler handler, void* user_data,
                     int min_args, int scope = 0);
void RegisterBuiltinSelfScoped(Instance* instance, std::string_view name, Handler handler,
                               void* user_data, int min_args, int scope = 0);
void DefineScriptBuiltin(Instance* instance, std::string_view name, const char* body,
                         uint32_t ownership, uint32_t function_flags);
// `flags`: ownership of `text` in bits 0-1 (0 borrowed for the instance's life, 1 a
// malloc block handed over, 3 copied) and kStandardTokens.
void SetVariable(Instance* instance, std::string_view name, std::string_view text, uint32_t flags,
                 int scope = 0);
void SetVariableSelfScoped(Instance* instance, std::string_view name, std::string_view text,
                           uint32_t flags, int scope = 0);
void SetGlobalVariable(Instance* instance, std::string_view name, std::string_view text,
                       uint32_t flags);

void RegisterTable(Instance* instance, const BuiltinRow* rows, size_t count);
void RegisterTable(Instance* instance, const ScriptBuiltinRow* rows, size_t count);
void RegisterTable(Instance* instance, const VariableRow* rows, size_t count);
template <typename Row, size_t N>
void RegisterTable(Instance* instance, const Row (&rows)[N]) {
  RegisterTable(instance, rows, N);
}

inline constexpr int kGlobalScope = 1;

}  // namespace script
