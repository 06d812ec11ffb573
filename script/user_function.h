// User functions (script text bound to a name and called like a built-in), the block
// control built-ins Return, Break, Continue and Exit, and the silent nesting counter.
#pragma once

#include <cstdint>
#include <string_view>

#include "script/evaluator.h"

namespace script {

// Defines `name` as a user function with `body` (written in the active token set
// unless `flags` has kVerbatim), bound in `scope`, or self-scoped with kSelfScoped.
void DefineUserFunction(Instance* instance, std::string_view name, std::string_view body,
                        uint32_t flags, int scope);
// Turns the innermost plain variable `name` into a user function with its text as body.
void MakeFunctionOf(Instance* instance, Binding* binding, uint32_t flags);
// Turns a user function binding back into a plain variable whose text is its body;
// false when the binding holds no user function.
bool RevertFunction(Binding* binding);
// Puts the body of a user function value in `body`; false for any other value.
bool UserFunctionBody(const Value* value, std::string_view* body);

// Handlers registered per block: the user data is the block's marker. With no marker
// (Exit) every stream up to the outermost ends.
void BreakBuiltin(Call& call);
void ContinueBuiltin(Call& call);

// Keeps the process-wide silent counter and the SilentNestingLevel variable raised
// while output is discarded.
class SilentLevel {
 public:
  explicit SilentLevel(Instance* instance);
  ~SilentLevel();
  // The counter's current value (1 outside any Silent).
  static int current();

 private:
  Instance* instance_;
};

}  // namespace script
