// Profile patterns.
#include "updatelib/profile.h"

#include <algorithm>

#include "updatelib/channel/manifest.h"
#include "updatelib/channel/text_fields.h"

namespace castanet {

namespace {

enum class TokenKind { kLiteral, kOne, kStar, kAnyDepth, kDirectories };
struct Token {
  TokenKind kind;
  char literal = 0;
};

std::vector<Token> Tokenize(std::string_view pattern) {
  std::vector<Token> tokens;
  for (size_t i = 0; i < pattern.size(); i++) {
    if (pattern[i] == '*' && i + 1 < pattern.size() && pattern[i + 1] == '*') {
      bool slash = i + 2 < pattern.size() && pattern[i + 2] == '/';
      tokens.push_back({slash ? TokenKind::kDirectories : TokenKind::kAnyDepth});
      i += slash ? 2 : 1;
      while (!slash && i + 1 < pattern.size() && pattern[i + 1] == '*') i++;
    } else if (pattern[i] == '*') {
      tokens.push_back({TokenKind::kStar});
    } else if (pattern[i] == '?') {
      tokens.push_back({TokenKind::kOne});
    } else {
      tokens.push_back({TokenKind::kLiteral, pattern[i]});
    }
  }
  return tokens;
}

}  // namespace

// Dynamic programming over (token, position), filled from the end: no recursion and no
// exponential backtracking, whatever the pattern.
bool MatchPattern(std::string_view pattern, std::string_view path) {
  std::vector<Token> tokens = Tokenize(pattern);
  size_t n = path.size();
  std::vector<char> next(n + 2, 0), current(n + 2, 0);
  next[n] = 1;  // no tokens left matches only the end of the path
  for (size_t t = tokens.size(); t-- > 0;) {
    const Token& token = tokens[t];
    std::fill(current.begin(), current.end(), 0);
    char slash_then_rest = 0;  // some '/' at k >= j with next[k + 1]
    for (size_t j = n + 1; j-- > 0;) {
      bool have = j < n;
      switch (token.kind) {
        case TokenKind::kLiteral:
          current[j] = have && path[j] == token.literal && next[j + 1];
          break;
        case TokenKind::kOne:
          current[j] = have && path[j] != '/' && next[j + 1];
          break;
        case TokenKind::kStar:
          current[j] = next[j] || (have && path[j] != '/' && current[j + 1]);
          break;
        case TokenKind::kAnyDepth:
          current[j] = next[j] || (have && current[j + 1]);
          break;
        case TokenKind::kDirectories:
          if (have && path[j] == '/' && next[j + 1]) slash_then_rest = 1;
          current[j] = next[j] || slash_then_rest;
          break;
      }
    }
    std::swap(current, next);
  }
  return next[0];
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
