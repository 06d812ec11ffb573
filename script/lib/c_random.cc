// The linear congruential generator of the Microsoft C runtime: state = state * 214013
// + 2531011, and rand is bits 16 to 30 of the new state. A fresh process starts as if
// seeded with 1.
#include "script/lib/c_random.h"

#include <atomic>

namespace script {
namespace {

std::atomic<std::uint32_t> state{1};

}  // namespace

void SeedRandom(std::uint32_t seed) { state.store(seed, std::memory_order_relaxed); }

int NextRandom() {
  std::uint32_t current = state.load(std::memory_order_relaxed);
  std::uint32_t next;
  do {
    next = current * 214013u + 2531011u;
  } while (!state.compare_exchange_weak(current, next, std::memory_order_relaxed));
  return static_cast<int>((next >> 16) & 0x7FFF);
}

}  // namespace script
