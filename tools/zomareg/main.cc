// zomareg: the registry of a Zoma prefix from the command line, in reg.exe's syntax.
//
//   zomareg query  KEY [/v NAME | /ve] [/s]
//   zomareg add    KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]
//   zomareg delete KEY [/v NAME | /ve | /va] [/f]
//   zomareg import FILE
//   zomareg export KEY [FILE|-] [/y] [/regedit4]      (no FILE or "-": standard output)
//
// Switches are matched without regard to case and may start with "/" or "-". The
// command line is read by hand: reg.exe's switches ("/ve" beside "/v NAME", "/s" with
// two meanings) do not fit a general option parser.
#include <iostream>
#include <string>
#include <vector>

#include "tools/zomareg/commands.h"

namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "  zomareg query  KEY [/v NAME | /ve] [/s]\n"
    "  zomareg add    KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]\n"
    "  zomareg delete KEY [/v NAME | /ve | /va] [/f]\n"
    "  zomareg import FILE\n"
    "  zomareg export KEY [FILE|-] [/y] [/regedit4]\n"
    "KEY is ROOT\\Subkey\\... with ROOT one of HKLM, HKCU, HKCR, HKU, HKCC, HKPD, HKDD or\n"
    "their long forms (HKEY_LOCAL_MACHINE, ...). TYPE is REG_SZ, REG_EXPAND_SZ,\n"
    "REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY or REG_NONE. The registry is the one\n"
    "of the prefix in ZOMA_PREFIX (else $XDG_DATA_HOME/zoma, else ~/.local/share/zoma).\n";

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// Only known switch names count as switches, so host paths such as /tmp/x.reg stay
// arguments.
bool IsSwitch(const std::string& argument) {
  static const char* const kSwitches[] = {"v", "ve", "va", "s", "t", "d", "f", "y", "regedit4"};
  if (argument.size() < 2 || (argument[0] != '/' && argument[0] != '-')) return false;
  std::string name = Lower(argument.substr(1));
  for (const char* known : kSwitches)
    if (name == known) return true;
  return false;
}

// Fills `options` from the arguments after the operation; false on bad syntax.
bool ParseArguments(const std::vector<std::string>& arguments, zomareg::Options* options,
                    std::string* problem) {
  std::vector<std::string> positional;
  const std::string& operation = options->operation;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (!IsSwitch(argument)) {
      positional.push_back(argument);
      continue;
    }
    std::string name = Lower(argument.substr(1));
    bool takes_value =
        name == "v" || name == "t" || name == "d" || (name == "s" && operation == "add");
    if (takes_value && i + 1 >= arguments.size()) {
      *problem = "the switch " + argument + " needs a value";
      return false;
    }
    bool allowed = true;
    if (name == "v" && operation != "import" && operation != "export") {
      options->value = arguments[++i];
    } else if (name == "ve" && operation != "import" && operation != "export") {
      options->value = "";
    } else if (name == "va" && operation == "delete") {
      options->all_values = true;
    } else if (name == "s" && operation == "query") {
      options->recursive = true;
    } else if (name == "s" && operation == "add") {
      options->separator = arguments[++i];
    } else if (name == "t" && operation == "add") {
      options->type = arguments[++i];
    } else if (name == "d" && operation == "add") {
      options->data = arguments[++i];
    } else if (name == "f" && (operation == "add" || operation == "delete")) {
      options->force = true;
    } else if (name == "y" && operation == "export") {
      options->force = true;
    } else if (name == "regedit4" && operation == "export") {
      options->regedit4 = true;
    } else {
      allowed = false;
    }
    if (!allowed) {
      *problem = "the switch " + argument + " is not valid with " + operation;
      return false;
    }
  }
  if (options->value && options->all_values) {
    *problem = "/v, /ve and /va exclude each other";
    return false;
  }
  if (options->data && !options->value) options->value = "";  // /d alone sets the default
  // export writes to standard output when no file is named.
  if (operation == "export" && positional.size() == 1) positional.push_back("-");
  size_t wanted = operation == "export" ? 2 : 1;
  if (positional.size() != wanted) {
    *problem = operation == "export"   ? "export needs a key and at most one file"
               : operation == "import" ? "import needs one file"
                                       : operation + " needs one key";
    return false;
  }
  options->key = positional[0];
  if (wanted == 2) options->file = positional[1];
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  if (arguments.empty() || arguments[0] == "/?" || arguments[0] == "-h" ||
      arguments[0] == "--help") {
    (arguments.empty() ? std::cerr : std::cout) << kUsage;
    return arguments.empty() ? 1 : 0;
  }
  zomareg::Options options;
  options.operation = Lower(arguments[0]);
  arguments.erase(arguments.begin());
  using Operation = int (*)(const zomareg::Options&, zomareg::Console&);
  static const std::pair<const char*, Operation> kOperations[] = {
      {"query", zomareg::Query},   {"add", zomareg::Add},       {"delete", zomareg::Delete},
      {"import", zomareg::Import}, {"export", zomareg::Export},
  };
  Operation run = nullptr;
  for (const auto& [name, operation] : kOperations)
    if (options.operation == name) run = operation;
  if (!run) {
    std::cerr << "ERROR: Invalid operation \"" << options.operation << "\".\n" << kUsage;
    return 1;
  }
  std::string problem;
  if (!ParseArguments(arguments, &options, &problem)) {
    std::cerr << "ERROR: Invalid syntax: " << problem << ".\n" << kUsage;
    return 1;
  }
  zomareg::Console console{std::cin, std::cout, std::cerr};
  return run(options, console);
}
