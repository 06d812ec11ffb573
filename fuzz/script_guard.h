// What keeps script fuzzing to crashes: scripts may legitimately loop for ever or grow
// text without bound, so each evaluation runs under a watchdog that halts the instance
// once it has run too long or allocated too much, and texts that name a built-in that
// may loop without end are skipped.
#pragma once

#include <string_view>

#include "script/instance.h"

namespace fuzz {

// Inputs worth evaluating: short enough, and naming none of the built-ins that may
// loop without end (While, Aliases, Arguments; the counted loops stay in).
bool WorthEvaluating(std::string_view script);

// Halts `instance` from another thread once it has run for a second or the process
// holds more than 512 MB (measured where a sanitizer runtime can tell). The instance
// first loses the built-ins that reach the network or end the process (GetCGIData).
class EvaluationWatchdog {
 public:
  explicit EvaluationWatchdog(script::Instance* instance);
  ~EvaluationWatchdog();
  EvaluationWatchdog(const EvaluationWatchdog&) = delete;
  EvaluationWatchdog& operator=(const EvaluationWatchdog&) = delete;
};

}  // namespace fuzz
