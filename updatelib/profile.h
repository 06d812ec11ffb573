// Profiles: which of a channel's files an installation wants. Profile data is text, one
// pattern per line:
//
//   # comment
//   Programs/*.exe        '*' matches within one path component, '?' one character
//   Data/**               '**' matches across components; "Data/" means the same
//   !Data/Movies/**       a leading '!' excludes what earlier lines included
//
// Patterns compare with channel-relative paths without regard to case; the last line
// that matches a path decides. Without any including line everything is included.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace castanet {

class Profile {
 public:
  Profile() = default;  // includes every file
  static Profile Parse(std::string_view text);

  bool Includes(std::string_view path) const;
  bool empty() const { return rules_.empty(); }

 private:
  struct Rule {
    std::string pattern;  // lower case
    bool exclude = false;
  };
  std::vector<Rule> rules_;
  bool has_include_ = false;
};

// Matches a lower-case path against a lower-case pattern.
bool MatchPattern(std::string_view pattern, std::string_view path);

}  // namespace castanet
