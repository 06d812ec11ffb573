// The evaluator: copies script text to its output and replaces every call by its
// result. Also the call record handed to built-ins and the evaluation services they
// use to evaluate their own (raw) arguments.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "script/instance.h"
#include "script/stream.h"

namespace script {

// A flag name visible while a flag argument is evaluated, and its bit.
struct FlagName {
  const char* name;
  int32_t value;
};

// The call record: what a built-in handler receives.
class Call {
 public:
  Call(Instance* instance, Stream* out, int argc, const std::string_view* args, void* user_data)
      : instance(instance), out(out), argc(argc), args(args), user_data(user_data) {}
  ~Call();
  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;

  // A scratch buffer that goes back to the free list when the call ends.
  TextBuffer& Scratch();

  bool Has(int i) const { return i < argc; }
  // The raw text of argument i (0 is the called name); empty when absent.
  std::string_view Raw(int i) const { return i < argc ? args[i] : std::string_view(); }

  // Evaluation services; texts live in scratch buffers until the call ends.
  std::string_view Script(int i);  // escapes kept
  std::string_view Plain(int i);   // escapes removed
  std::string_view Name(int i);    // the identifier in the evaluated text
  int32_t Integer(int i);          // the first number in the evaluated text
  int32_t Math(int i);             // 0 when absent
  // Evaluates argument i as a Math expression with the flag names defined; 0 when
  // absent.
  int32_t Flags(int i, std::initializer_list<FlagName> flags);
  // A scope argument as an absolute scope number; the current depth when absent.
  int Scope(int i);

  // Results written once evaluation was stopped (Exit, the nesting limit) are dropped.
  void Write(std::string_view text) {
    if (!instance->halted()) out->Put(text);
  }
  void WriteInteger(int64_t value);
  // Evaluates `text` with the call's output as its output.
  void EvaluateIntoOutput(std::string_view text);

  Instance* const instance;
  Stream* const out;
  const int argc;
  const std::string_view* const args;  // raw texts; 0 is the called name
  void* user_data;

 private:
  TextBuffer* scratch_[8];
  int scratch_count_ = 0;
  std::vector<TextBuffer*> more_scratch_;
};

// Evaluates a stream until it ends: the main loop.
void EvaluateStream(Stream& stream);
// Handles one call in `stream`, whose call character has just been read.
void HandleCall(Stream& stream);
// Reads the name after a call character: a view into the source text where it can be,
// else a copy in `spill`.
std::string_view ReadName(Stream& stream, ScratchBuffer& spill);
// The special form $SetTokensTo: the next four characters become the token set.
void SetTokensFromStream(Stream& stream);
// The rest of a call once its name (and any terminator) is read and looked up.
void CallResolved(Stream& stream, std::string_view name, Binding* binding);
// The value of a binding that is a plain variable whose text can be used as it stands
// (no calls, nothing to convert); none otherwise.
const Value* PlainVariableText(Instance* instance, Binding* binding);

// Evaluates `text` into `out` through a new stream whose parent is `parent`: with
// escapes kept, or removed when `unescape`.
void EvaluateToBuffer(Instance* instance, Stream* parent, std::string_view text, TextBuffer& out,
                      bool unescape = false);
// Evaluates `text` with the sink of `target` as output.
void EvaluateInto(Stream& target, std::string_view text, const char* name = "Eval");
// Evaluates a variable's text into `stream`'s output, converting token-marked text to
// the active set first.
void EvaluateVariable(Stream& stream, Value* value);
// Calls the built-in or user function held by `value` with the given arguments
// (args[0] is the called name); does nothing when fewer than its minimum are given.
void InvokeBuiltin(Instance* instance, Value* value, Stream& out, int argc,
                   const std::string_view* args);
// Runs `text` as a block (a loop or function body) into `out`, or discarding its output
// when `discard`.
void RunBlock(Stream& out, std::string_view text, const BlockMarker* marker, bool discard);

// The text of a stored value ready for use: token-marked texts are converted to the
// active set in `scratch`.
std::string_view ActiveText(Instance* instance, const Value* value, TextBuffer& scratch);

// Splits the argument list that follows a call's name into `args`. Text before the
// first open character is dropped unless `opened` says it was already read. A single
// empty argument counts as none. Arguments read from a string source are views into
// its text (which outlives the call); others are copied into `storage`.
void CollectArguments(Stream& stream, ScratchBuffer& storage, std::vector<std::string_view>& args,
                      bool opened);

// Integer reading shared by every built-in: the first number in the text, with "0x",
// "0b" and leading-zero octal forms; 0 when there is none.
int32_t ParseInteger(std::string_view text);
// Appends the identifier found in `text` (leading other characters dropped, cut at the
// first non-identifier character).
std::string_view ExtractName(std::string_view text);

}  // namespace script
