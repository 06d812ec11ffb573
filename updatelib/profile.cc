// Profile patterns.
#include "updatelib/profile.h"

#include "updatelib/channel/manifest.h"
#include "updatelib/channel/text_fields.h"

namespace castanet {

bool MatchPattern(std::string_view pattern, std::string_view path) {
  // Iterative matcher with one backtrack point per kind of star; linear in practice and
  // never recursive, so long patterns cannot exhaust the stack.
  size_t p = 0, s = 0;
  size_t star_p = std::string_view::npos, star_s = 0;
  bool star_crosses = false;
  while (s < path.size()) {
    if (p + 1 < pattern.size() && pattern[p] == '*' && pattern[p + 1] == '*') {
      star_p = p + 2;
      star_s = s;
      star_crosses = true;
      p += 2;
      if (p < pattern.size() && pattern[p] == '/') {
        // "**/" also matches no directory at all.
        star_p = p = p + 1;
      }
      continue;
    }
    if (p < pattern.size() && pattern[p] == '*') {
      star_p = ++p;
      star_s = s;
      star_crosses = false;
      continue;
    }
    if (p < pattern.size() && (pattern[p] == path[s] || (pattern[p] == '?' && path[s] != '/'))) {
      p++;
      s++;
      continue;
    }
    if (star_p != std::string_view::npos && (star_crosses || path[star_s] != '/')) {
      p = star_p;
      s = ++star_s;
      continue;
    }
    return false;
  }
  while (p < pattern.size() && pattern[p] == '*') p++;
  return p == pattern.size();
}

Profile Profile::Parse(std::string_view text) {
  Profile profile;
  ForEachLine(text, [&](std::string_view line) {
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\0')) {
      line.remove_suffix(1);
    }
    if (line.empty() || line.front() == '#') return true;
    Rule rule;
    if (line.front() == '!') {
      rule.exclude = true;
      line.remove_prefix(1);
    }
    rule.pattern = PathKey(line);
    for (char& c : rule.pattern) {
      if (c == '\\') c = '/';
    }
    if (!rule.pattern.empty() && rule.pattern.back() == '/') rule.pattern += "**";
    if (rule.pattern.empty()) return true;
    if (!rule.exclude) profile.has_include_ = true;
    profile.rules_.push_back(std::move(rule));
    return true;
  });
  return profile;
}

bool Profile::Includes(std::string_view path) const {
  std::string key = PathKey(path);
  bool included = !has_include_;
  for (const Rule& rule : rules_) {
    if (MatchPattern(rule.pattern, key)) included = !rule.exclude;
  }
  return included;
}

}  // namespace castanet
