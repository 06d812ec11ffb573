// A scope of its own for the body argument of a built-in (Run, GetIniValue, OSVersion):
// the variables the body sees are bound in it, and it goes when the object ends.
#pragma once

#include <string_view>

#include "script/evaluator.h"

namespace script {

class BodyScope {
 public:
  explicit BodyScope(Call& call);
  ~BodyScope();
  BodyScope(const BodyScope&) = delete;
  BodyScope& operator=(const BodyScope&) = delete;

  // Binds the text as it stands (texts the library itself made).
  void Set(std::string_view name, std::string_view text);
  void SetInteger(std::string_view name, long long value);
  // Binds the text quoted, so that the body reads outside data back literally and
  // never runs it.
  void SetQuoted(std::string_view name, std::string_view text);
  // Evaluates argument i of the call into its output.
  void Run(int i);

 private:
  Call& call_;
};

}  // namespace script
