// The watchdog runs on one thread for the whole process and looks at the instance being
// evaluated every few milliseconds.
#include "fuzz/script_guard.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

extern "C" __attribute__((weak)) std::size_t __sanitizer_get_current_allocated_bytes();

namespace fuzz {
namespace {

constexpr std::size_t kMaxScriptBytes = 4096;
constexpr auto kTimeLimit = std::chrono::seconds(1);
constexpr std::size_t kMemoryLimit = std::size_t{512} << 20;
constexpr auto kPollInterval = std::chrono::milliseconds(5);

class Watchdog {
 public:
  Watchdog() {
    std::thread([this] { Run(); }).detach();
  }

  void Arm(script::Instance* instance) {
    std::lock_guard<std::mutex> lock(mutex_);
    instance_ = instance;
    deadline_ = std::chrono::steady_clock::now() + kTimeLimit;
  }
  void Disarm() {
    std::lock_guard<std::mutex> lock(mutex_);
    instance_ = nullptr;
  }

 private:
  static bool OverMemoryLimit() {
    return __sanitizer_get_current_allocated_bytes &&
           __sanitizer_get_current_allocated_bytes() > kMemoryLimit;
  }

  [[noreturn]] void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait_for(lock, kPollInterval);
      if (instance_ && (std::chrono::steady_clock::now() > deadline_ || OverMemoryLimit())) {
        instance_->Halt();
      }
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  script::Instance* instance_ = nullptr;
  std::chrono::steady_clock::time_point deadline_;
};

Watchdog& TheWatchdog() {
  static Watchdog* watchdog = new Watchdog();  // its thread outlives every caller
  return *watchdog;
}

}  // namespace

// While runs until its condition turns false, Aliases until its generator gives an empty
// name; Arguments is an Aliases loop whose generator never ends when its helper names
// are shadowed (called from a flags argument, where Silent and SelfScoped are numbers).
constexpr std::string_view kEndlessLoopNames[] = {"While", "Aliases", "Arguments"};

bool WorthEvaluating(std::string_view script) {
  if (script.size() > kMaxScriptBytes) return false;
  for (std::string_view name : kEndlessLoopNames) {
    if (script.find(name) != std::string_view::npos) return false;
  }
  return true;
}

// Fetches would send fuzzed requests to fuzzed hosts, and a malformed POST ends the
// process: the instance loses these built-ins for good before the input runs (names
// built at run time cannot reach them either).
constexpr std::string_view kOutsideWorldNames[] = {
    "Http", "HttpExternal", "HttpVerbatim", "WriteHttpToFile", "HttpHeader", "GetCGIData"};

EvaluationWatchdog::EvaluationWatchdog(script::Instance* instance) {
  for (std::string_view name : kOutsideWorldNames) instance->tree().DeleteEverywhere(name);
  TheWatchdog().Arm(instance);
}

EvaluationWatchdog::~EvaluationWatchdog() { TheWatchdog().Disarm(); }

}  // namespace fuzz
