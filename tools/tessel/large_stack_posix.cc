// Large stacks on POSIX: the main thread's own when the stack limit allows (no thread
// to start, which keeps start-up short), else a thread made with one.
#include <pthread.h>
#include <sys/resource.h>

#include "tools/tessel/large_stack.h"

namespace tessel {
namespace {

// Kept free below the budget for the frames of the C library and the sanitizers.
constexpr size_t kReserve = size_t{1} << 20;

struct Job {
  const std::function<void(size_t)>* work;
  size_t usable;
};

void* RunJob(void* job) {
  Job* j = static_cast<Job*>(job);
  (*j->work)(j->usable);
  return nullptr;
}

}  // namespace

void RunWithLargeStack(size_t stack_bytes, const std::function<void(size_t usable)>& work) {
  rlimit limit{};
  if (getrlimit(RLIMIT_STACK, &limit) == 0 &&
      (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= stack_bytes)) {
    work(stack_bytes - kReserve);
    return;
  }
  Job job{&work, stack_bytes - kReserve};
  pthread_attr_t attributes;
  pthread_t thread;
  bool started = pthread_attr_init(&attributes) == 0 &&
                 pthread_attr_setstacksize(&attributes, stack_bytes) == 0 &&
                 pthread_create(&thread, &attributes, RunJob, &job) == 0;
  pthread_attr_destroy(&attributes);
  if (!started) {
    // No thread to be had: the calling thread's stack, with a budget inside its limit.
    size_t usable = limit.rlim_cur > 2 * kReserve ? limit.rlim_cur - 2 * kReserve : kReserve;
    work(usable);
    return;
  }
  pthread_join(thread, nullptr);
}

}  // namespace tessel
