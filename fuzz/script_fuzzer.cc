// Script text evaluated in a fresh interpreter instance: every text must end (at the
// latest at the nesting limit or when the watchdog halts it) without a crash or leak.
#include "fuzz/fuzz_input.h"
#include "fuzz/script_guard.h"
#include "script/tessel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text = fuzz::AsText(data, size);
  if (!fuzz::WorthEvaluating(text)) return -1;  // not worth keeping in the corpus
  script::Instance* instance = script::CreateInstance();
  {
    fuzz::EvaluationWatchdog watchdog(instance);
    script::TextBuffer out;
    script::Evaluate(out, text, instance);
  }
  script::DestroyInstance(instance);
  return 0;
}
