// Runs work on a thread with a large stack, so that deeply nested scripts reach the
// interpreter's nesting limit long before the stack runs out.
#pragma once

#include <cstddef>
#include <functional>

namespace tessel {

// Runs `work` to completion on a thread whose stack holds `stack_bytes`; runs it on
// the calling thread if no such thread can be made.
void RunWithLargeStack(size_t stack_bytes, const std::function<void()>& work);

}  // namespace tessel
