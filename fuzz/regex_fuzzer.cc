// Differential check of the scripts' regular expressions: the PCRE2 translation against
// the plain reference matcher, on the pattern and text the input gives (cut at a NUL).
// Any difference in whether it compiles, whether it matches, where, or in the groups is
// a finding. Replacement runs on the same input for crashes and hangs only.
#include <cstdio>
#include <string>

#include "fuzz/fuzz_input.h"
#include "fuzz/reference_regex.h"
#include "script/lib/regex_engine.h"
#include "script/lib/regex_replace.h"

namespace {

void Report(const std::string& pattern, const std::string& text, const char* what) {
  std::fprintf(stderr, "pattern %zu bytes \"%s\", text %zu bytes \"%s\"\n", pattern.size(),
               pattern.c_str(), text.size(), text.c_str());
  fuzz::Require(false, what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> parts = fuzz::SplitAtNul(fuzz::AsText(data, size));
  const std::string& pattern = parts[0];
  const std::string text = parts.size() > 1 ? parts[1] : std::string();
  // The reference is exponential by design: keep it to inputs it answers quickly.
  if (pattern.size() > 48 || text.size() > 64) return -1;

  std::unique_ptr<script::Regex> regex = script::Regex::Compile(pattern);
  fuzz::ReferenceMatch expected;
  fuzz::ReferenceResult result = fuzz::ReferenceSearch(pattern, text, &expected);
  if ((result == fuzz::ReferenceResult::kMalformed) != (regex == nullptr))
    Report(pattern, text, "the translation and the reference disagree on the syntax");
  if (regex == nullptr || result == fuzz::ReferenceResult::kTooCostly) return 0;

  script::RegexMatch match;
  const bool found = regex->Search(text, &match);
  if (found != (result == fuzz::ReferenceResult::kMatch))
    Report(pattern, text, "the translation and the reference disagree on a match");
  if (found) {
    for (std::size_t i = 0; i < match.offsets.size(); ++i) {
      if (match.offsets[i] != expected.offsets[i])
        Report(pattern, text, "the translation and the reference disagree on a position");
    }
  }
  std::string replaced;
  script::ReplaceMatches(*regex, text, "<&\\1\\u\\U\\2\\E\\l\\9>", replaced);
  return 0;
}
