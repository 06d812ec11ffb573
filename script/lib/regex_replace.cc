// ReReplace's algorithm, apart from the script call around it.
#include "script/lib/regex_replace.h"

#include <cctype>

namespace script {
namespace {

// The case conversions in force while a replacement is expanded.
class CaseWriter {
 public:
  explicit CaseWriter(std::string& out) : out_(out) {}

  void Put(char c) {
    if (next_ != 0) {
      c = Convert(c, next_);
      next_ = 0;
    } else if (span_ != 0) {
      c = Convert(c, span_);
    }
    out_ += c;
  }
  void Put(std::string_view text) {
    if (next_ == 0 && span_ == 0) {
      out_ += text;
      return;
    }
    for (char c : text) Put(c);
  }
  void NextUpper() { next_ = 'u'; }
  void NextLower() { next_ = 'l'; }
  void CancelNext() { next_ = 0; }
  void SpanUpper() { span_ = 'u'; }
  void SpanLower() { span_ = 'l'; }
  void EndSpan() { span_ = 0; }

 private:
  static char Convert(char c, char how) {
    auto u = static_cast<unsigned char>(c);
    return static_cast<char>(how == 'u' ? std::toupper(u) : std::tolower(u));
  }
  std::string& out_;
  char next_ = 0;
  char span_ = 0;
};

}  // namespace

std::string WithPreviousReplacement(std::string_view replacement, std::string_view previous) {
  std::string result;
  result.reserve(replacement.size());
  for (char c : replacement) {
    if (c == '~') {
      result += previous;
    } else {
      result += c;
    }
  }
  return result;
}

void ExpandReplacement(std::string_view replacement, std::string_view text, const RegexMatch& match,
                       std::string& out) {
  CaseWriter writer(out);
  for (size_t i = 0; i < replacement.size(); ++i) {
    const char c = replacement[i];
    if (c == '&') {
      writer.Put(match.group(text, 0));
      continue;
    }
    if (c != '\\' || i + 1 == replacement.size()) {
      writer.Put(c);
      continue;
    }
    const char next = replacement[++i];
    switch (next) {
      case 'u':
        writer.NextUpper();
        break;
      case 'l':
        writer.NextLower();
        break;
      case 'U':
        writer.SpanUpper();
        break;
      case 'L':
        writer.SpanLower();
        break;
      case 'E':
        writer.EndSpan();
        break;
      case 'e':
        writer.CancelNext();
        break;
      default:
        if (next >= '1' && next <= '9') {
          writer.Put(match.group(text, next - '0'));
        } else {
          writer.Put(next);
        }
        break;
    }
  }
}

bool ReplaceMatches(const Regex& regex, std::string_view text, std::string_view replacement,
                    std::string& out) {
  out.clear();
  bool matched = false;
  size_t position = 0;
  RegexMatch match;
  while (position < text.size()) {
    std::string_view rest = text.substr(position);
    if (!regex.Search(rest, &match)) break;
    matched = true;
    out.append(rest.substr(0, match.start()));
    ExpandReplacement(replacement, rest, match, out);
    position += match.end();
    if (match.start() == match.end() && position < text.size()) out += text[position++];
  }
  if (!matched) return false;
  out.append(text.substr(position));
  return true;
}

}  // namespace script
