// Parsing tessel's command line: options come first; the script (-e TEXT, FILE or -)
// ends them, and whatever follows is handed to the script as its arguments.
#include "tools/tessel/options.h"

#include <cstring>

namespace tessel {
namespace {

bool AddDefine(const std::string& definition, Options* options, std::string* error) {
  size_t equals = definition.find('=');
  if (equals == std::string::npos || equals == 0) {
    *error = "-D needs NAME=VALUE, got \"" + definition + "\"";
    return false;
  }
  options->defines.emplace_back(definition.substr(0, equals), definition.substr(equals + 1));
  return true;
}

}  // namespace

bool ParseOptions(int argc, const char* const* argv, Options* options, std::string* error) {
  int i = 1;
  for (; i < argc && options->input == Options::Input::kNone; ++i) {
    std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      options->help = true;
      return true;
    } else if (arg == "--raw") {
      options->raw = true;
    } else if (arg == "-D" || arg == "--define") {
      if (++i >= argc) {
        *error = arg + " needs NAME=VALUE";
        return false;
      }
      if (!AddDefine(argv[i], options, error)) return false;
    } else if (arg.rfind("-D", 0) == 0) {
      if (!AddDefine(arg.substr(2), options, error)) return false;
    } else if (arg == "--cook") {
      if (i + 2 >= argc) {
        *error = "--cook needs the script file and the file to write";
        return false;
      }
      options->input = Options::Input::kCook;
      options->text_or_path = argv[++i];
      options->cooked_path = argv[++i];
    } else if (arg == "--list") {
      options->input = Options::Input::kList;
    } else if (arg == "-e") {
      if (++i >= argc) {
        *error = "-e needs the script text";
        return false;
      }
      options->input = Options::Input::kText;
      options->text_or_path = argv[i];
    } else if (arg == "-") {
      options->input = Options::Input::kStandardInput;
    } else if (arg == "--") {
      if (++i >= argc) {
        *error = "-- must be followed by a script file";
        return false;
      }
      options->input = Options::Input::kFile;
      options->text_or_path = argv[i];
    } else if (arg.size() > 1 && arg[0] == '-') {
      *error = "unknown option \"" + arg + "\"";
      return false;
    } else {
      options->input = Options::Input::kFile;
      options->text_or_path = arg;
    }
  }
  if (options->input == Options::Input::kNone) {
    *error = "no script given: use -e TEXT, a FILE, or - for standard input";
    return false;
  }
  for (; i < argc; ++i) options->args.emplace_back(argv[i]);
  return true;
}

const char* UsageText() {
  return "Usage: tessel [--raw] [-D NAME=VALUE]... (-e TEXT | FILE | -) [ARG...]\n"
         "       tessel --cook FILE COOKED\n"
         "       tessel --list\n"
         "\n"
         "Runs a Tessel script in a fresh interpreter and writes its result to standard\n"
         "output.\n"
         "\n"
         "  -e TEXT          evaluate TEXT\n"
         "  FILE             evaluate the script in FILE, as $ReadFile{FILE} does: a\n"
         "                   cooked script runs like the plain text it was made from\n"
         "  -                evaluate the script read from standard input\n"
         "  -D NAME=VALUE    set the global variable NAME before the script runs; VALUE\n"
         "                   is script text, evaluated whenever $NAME is used\n"
         "  --raw            write the result as script text, escapes kept ($$ stays $$)\n"
         "  --cook FILE COOKED\n"
         "                   write the script in FILE to COOKED in the cooked form\n"
         "                   (the \"LCH!\" wrapped container) and run nothing\n"
         "  --list           print the names a new interpreter has, built-ins and\n"
         "                   variables, under a [library] line each, in the order the\n"
         "                   libraries register them, and run nothing\n"
         "  -h, --help       show this help\n"
         "\n"
         "Arguments after the script are available as $Arg1, $Arg2, ... and their\n"
         "number as $ArgCount.\n"
         "\n"
         "The exit status is the code given to $Exit{CODE}, else 0; 2 for a bad command\n"
         "line. Scripts that nest calls too deeply (endless recursion) are stopped with\n"
         "a message on standard error.\n"
         "\n"
         "Examples:\n"
         "  tessel -e '$ForList{v;[$v];a;b}'            prints [a][b]\n"
         "  tessel -D Who=world -e 'Hello, $Who!'      prints Hello, world!\n"
         "  tessel build.tsl release 32                $Arg1 is release, $Arg2 is 32\n";
}

}  // namespace tessel
