// Runs work where deeply nested scripts reach the interpreter's nesting limit long
// before the stack runs out: on the calling thread when its stack is large enough,
// else on a thread with a large stack.
#pragma once

#include <cstddef>
#include <functional>

namespace tessel {

// Runs `work` with at least `stack_bytes` of stack, passing it the bytes it may use.
void RunWithLargeStack(size_t stack_bytes, const std::function<void(size_t usable)>& work);

}  // namespace tessel
