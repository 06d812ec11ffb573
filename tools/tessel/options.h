// Command line of tessel.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tessel {

struct Options {
  enum class Input { kNone, kText, kFile, kStandardInput, kCook, kList };

  bool help = false;
  bool raw = false;
  std::vector<std::pair<std::string, std::string>> defines;  // -D NAME=VALUE
  Input input = Input::kNone;
  std::string text_or_path;
  std::string cooked_path;        // --cook: where the wrapped script goes
  std::vector<std::string> args;  // bound as Arg1, Arg2, ...
};

// Parses argv; on a bad command line returns false with a one-line reason in `error`.
bool ParseOptions(int argc, const char* const* argv, Options* options, std::string* error);

// The text --help prints.
const char* UsageText();

}  // namespace tessel
