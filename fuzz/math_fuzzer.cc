// Math expressions: any text evaluates to a number, whatever operators, numbers and
// calls it holds.
#include "fuzz/fuzz_input.h"
#include "fuzz/script_guard.h"
#include "script/math_expression.h"
#include "script/tessel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text = fuzz::AsText(data, size);
  if (!fuzz::WorthEvaluating(text)) return -1;
  script::Instance* instance = script::CreateInstance();
  {
    fuzz::EvaluationWatchdog watchdog(instance);
    script::EvaluateMath(instance, nullptr, text);
  }
  script::DestroyInstance(instance);
  return 0;
}
