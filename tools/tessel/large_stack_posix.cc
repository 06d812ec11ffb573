// Large-stack threads on POSIX.
#include <pthread.h>

#include "tools/tessel/large_stack.h"

namespace tessel {
namespace {

void* RunWork(void* work) {
  (*static_cast<const std::function<void()>*>(work))();
  return nullptr;
}

}  // namespace

void RunWithLargeStack(size_t stack_bytes, const std::function<void()>& work) {
  pthread_attr_t attributes;
  pthread_t thread;
  bool started =
      pthread_attr_init(&attributes) == 0 &&
      pthread_attr_setstacksize(&attributes, stack_bytes) == 0 &&
      pthread_create(&thread, &attributes, RunWork, const_cast<std::function<void()>*>(&work)) == 0;
  pthread_attr_destroy(&attributes);
  if (!started) {
    work();
    return;
  }
  pthread_join(thread, nullptr);
}

}  // namespace tessel
