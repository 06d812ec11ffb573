// The frame every loop built-in runs in: its scope, its Break and Continue, its stop
// flag and the block its body runs as.
#pragma once

#include <string_view>

#include "script/evaluator.h"

namespace script {

class LoopFrame {
 public:
  // Without `no_scope` the loop gets a scope of its own holding Break and Continue;
  // with it they are bound self-scoped in the current scope and removed afterwards.
  LoopFrame(Call& call, const char* kind, bool no_scope);
  ~LoopFrame();
  LoopFrame(const LoopFrame&) = delete;
  LoopFrame& operator=(const LoopFrame&) = delete;

  // False once Break, Return or Exit ended the loop.
  bool running() const { return !stop_ && !call_.out->ended && !call_.instance->halted(); }
  // Runs the body into the call's output; inside a scope of its own when `own_scope`.
  void RunBody(std::string_view body, bool own_scope);

 private:
  Call& call_;
  bool no_scope_;
  bool stop_ = false;
  BlockMarker marker_;
};

// Evaluates `text` for its side effects only.
void EvaluateDiscarding(Call& call, std::string_view text);

}  // namespace script
