// The regular-expression library: ReMatch tests a text against a pattern, ReReplace
// rewrites every match. The previous replacement text ("~" in a replacement) is kept for
// the whole process.
#include <mutex>
#include <string>

#include "script/evaluator.h"
#include "script/lib/arguments.h"
#include "script/lib/regex_engine.h"
#include "script/lib/regex_replace.h"
#include "script/libraries.h"

namespace script {
namespace {

// The previous replacement. A static object: the C++ runtime releases it at exit.
struct PreviousReplacement {
  std::mutex lock;
  std::string text;
};

PreviousReplacement& Previous() {
  static PreviousReplacement previous;
  return previous;
}

void ReMatchBuiltin(Call& call) {
  std::string text(call.Script(1));
  std::unique_ptr<Regex> regex = Regex::Compile(Unquoted(call, 2));
  call.Write(regex != nullptr && regex->Matches(text) ? "1" : "0");
}

void ReReplaceBuiltin(Call& call) {
  std::string text(call.Script(1));
  std::string pattern(Unquoted(call, 2));
  std::string replacement;
  {
    PreviousReplacement& previous = Previous();
    std::lock_guard<std::mutex> hold(previous.lock);
    replacement = WithPreviousReplacement(call.Raw(3), previous.text);
    previous.text = replacement;
  }
  std::unique_ptr<Regex> regex = Regex::Compile(pattern);
  if (regex == nullptr) return;
  std::string result;
  if (!ReplaceMatches(*regex, text, replacement, result)) return;
  call.EvaluateIntoOutput(result);
}

const BuiltinRow kRegexBuiltins[] = {
    {"ReMatch", ReMatchBuiltin, 0, 2},
    {"ReReplace", ReReplaceBuiltin, 0, 3},
};

}  // namespace

void RegisterRegexLibrary(Instance* instance) {
  Previous();  // created with the first instance, empty
  RegisterTable(instance, kRegexBuiltins);
}

}  // namespace script
