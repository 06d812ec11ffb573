// Wildcard translation: every wildcard becomes an anchored pattern that either does not
// compile or matches without trouble; a wildcard of plain letters and digits matches
// itself in any case and nothing longer; "*" alone matches anything.
#include <cctype>
#include <string>

#include "fuzz/fuzz_input.h"
#include "script/lib/regex_engine.h"
#include "script/lib/wildcard.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> parts = fuzz::SplitAtNul(fuzz::AsText(data, size));
  const std::string& wildcard = parts[0];
  const std::string name = parts.size() > 1 ? parts[1] : std::string();
  if (wildcard.size() > 4096) return -1;

  std::string expression = script::WildcardToRegex(wildcard);
  fuzz::Require(expression.size() >= 2 && expression.front() == '^' && expression.back() == '$',
                "the expression is anchored");
  std::unique_ptr<script::Regex> regex = script::Regex::Compile(expression);
  if (regex != nullptr) regex->Matches(name);

  bool plain = !wildcard.empty();
  for (char c : wildcard) plain = plain && std::isalnum(static_cast<unsigned char>(c));
  if (plain) {
    fuzz::Require(regex != nullptr, "a plain wildcard compiles");
    std::string upper = wildcard, lower = wildcard;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    fuzz::Require(regex->Matches(upper) && regex->Matches(lower), "any case matches");
    fuzz::Require(!regex->Matches(wildcard + "x") && !regex->Matches("x" + wildcard),
                  "the match is anchored");
  }
  if (!wildcard.empty() && wildcard.find_first_not_of('*') == std::string::npos) {
    fuzz::Require(regex != nullptr && regex->Matches(name), "stars match anything");
  }
  return 0;
}
