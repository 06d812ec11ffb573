// The operations of zomareg, in reg.exe's terms: each takes the parsed command line and
// returns the process exit code (0 success, 1 failure), writing reg.exe-style messages.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

namespace zomareg {

struct Options {
  std::string operation;             // query, add, delete, import, export
  std::string key;                   // key path, or the file for import
  std::string file;                  // export's output file ("-" for standard output)
  std::optional<std::string> value;  // /v NAME; "" for /ve (the default value)
  bool all_values = false;           // /va
  bool recursive = false;            // /s with query
  std::string type = "REG_SZ";       // /t
  std::optional<std::string> data;   // /d
  std::string separator = "\\0";     // /s with add, between REG_MULTI_SZ items
  bool force = false;                // /f (and /y): no questions
  bool regedit4 = false;             // /regedit4: export in the REGEDIT4 form
};

// Where the operations talk; tests can point them elsewhere.
struct Console {
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
};

int Query(const Options& options, Console& console);
int Add(const Options& options, Console& console);
int Delete(const Options& options, Console& console);
int Import(const Options& options, Console& console);
int Export(const Options& options, Console& console);

}  // namespace zomareg
