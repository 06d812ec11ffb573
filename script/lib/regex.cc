// The regular-expression library: ReMatch tests a text against a pattern, ReReplace
// rewrites every match. The previous replacement text ("~" in a replacement) is kept for
// the whole process.
#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

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

// The last few patterns compiled on this thread: scripts match line after line against
// the same pattern, and compiling (with the JIT) costs more than most matches. Null for a
// pattern that does not compile. Shared, so that a call keeps its pattern while a nested
// call pushes it out.
std::shared_ptr<const Regex> CompiledPattern(std::string_view pattern) {
  constexpr size_t kKept = 8;
  thread_local std::vector<std::pair<std::string, std::shared_ptr<const Regex>>> recent;
  for (size_t i = 0; i < recent.size(); ++i) {
    if (recent[i].first == pattern) {
      std::rotate(recent.begin(), recent.begin() + i, recent.begin() + i + 1);
      return recent.front().second;
    }
  }
  std::shared_ptr<const Regex> regex = Regex::Compile(pattern);
  if (recent.size() == kKept) recent.pop_back();
  recent.emplace(recent.begin(), std::string(pattern), regex);
  return regex;
}

void ReMatchBuiltin(Call& call) {
  std::string text(call.Script(1));
  std::shared_ptr<const Regex> regex = CompiledPattern(Unquoted(call, 2));
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
  std::shared_ptr<const Regex> regex = CompiledPattern(pattern);
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
