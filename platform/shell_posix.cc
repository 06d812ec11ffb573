// The shell's open verb on a POSIX desktop: web addresses go to $BROWSER or xdg-open,
// documents to xdg-open, programs are started. Helpers are host programs, started
// through CreateProcess by their Windows names (Z: is the host's root) so that the
// process layer reaps them.
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <vector>

#include "platform/ascii.h"
#include "platform/command_line.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/program_search.h"
#include "platform/shell.h"
#include "platform/ui_transcript.h"

namespace platform {
namespace {

// How long a helper may take to fail before its start counts as success.
constexpr std::uint32_t kHelperVerdictMs = 1500;

// "http://...", "mailto:...": a scheme of two or more characters, so that "C:\x" is no
// address.
bool IsAddress(const std::string& target) {
  std::size_t colon = target.find(':');
  if (colon == std::string::npos || colon < 2) return false;
  if (!std::isalpha(static_cast<unsigned char>(target[0]))) return false;
  for (std::size_t i = 1; i < colon; ++i) {
    char c = target[i];
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
      return false;
  }
  return true;
}

bool IsExecutableHostFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// A host program by name: as given when it holds a '/', else from the host's PATH.
std::optional<std::string> FindHostProgram(const std::string& name) {
  if (name.find('/') != std::string::npos)
    return IsExecutableHostFile(name) ? std::optional<std::string>(name) : std::nullopt;
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "/usr/local/bin:/usr/bin:/bin");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
    if (IsExecutableHostFile(candidate)) return candidate;
  }
  return std::nullopt;
}

// One way of opening the target: a host program and its arguments.
using HelperCommand = std::vector<std::string>;

// $BROWSER's entries: words split at white space, "%s" replaced by the target (which
// is appended when no word holds it), "%%" a percent sign.
std::vector<HelperCommand> BrowserCommands(const std::string& target) {
  std::vector<HelperCommand> commands;
  const char* setting = std::getenv("BROWSER");
  if (!setting) return commands;
  std::stringstream entries(setting);
  for (std::string entry; std::getline(entries, entry, ':');) {
    HelperCommand command;
    bool placed = false;
    std::istringstream words(entry);
    for (std::string word; words >> word;) {
      std::string expanded;
      for (std::size_t i = 0; i < word.size(); ++i) {
        if (word[i] == '%' && i + 1 < word.size() && word[i + 1] == 's') {
          expanded += target;
          placed = true;
          ++i;
        } else if (word[i] == '%' && i + 1 < word.size() && word[i + 1] == '%') {
          expanded += '%';
          ++i;
        } else {
          expanded += word[i];
        }
      }
      command.push_back(expanded);
    }
    if (command.empty()) continue;
    if (!placed) command.push_back(target);
    commands.push_back(command);
  }
  return commands;
}

// Starts a helper and judges it: kShellExecuteSucceeded, or the error it reported.
std::uintptr_t RunHelper(const HelperCommand& command) {
  std::optional<std::string> program = FindHostProgram(command[0]);
  if (!program) return kSeErrNoAssociation;
  std::string windows_program = ToWindowsPath(*program);
  if (windows_program.empty()) return kSeErrNoAssociation;
  std::vector<std::string> argv = command;
  argv[0] = windows_program;
  std::string line = QuoteArgument(argv[0]);
  for (std::size_t i = 1; i < argv.size(); ++i) line += " " + QuoteArgument(argv[i]);
  ProcessInformation info;
  if (!CreateProcess(line, {}, &info)) return kSeErrNoAssociation;
  if (WaitForSingleObject(info.process, kHelperVerdictMs) != kWaitObject0)
    return kShellExecuteSucceeded;
  std::uint32_t code = 0;
  GetExitCodeProcess(info.process, &code);
  if (code == 0) return kShellExecuteSucceeded;
  // xdg-open: 2 is a file that does not exist; 3 and 4 no tool or a failed action.
  return code == 2 ? kSeErrFileNotFound : kSeErrNoAssociation;
}

std::uintptr_t OpenWithHelpers(const std::vector<HelperCommand>& commands) {
  std::uintptr_t result = kSeErrNoAssociation;
  for (const HelperCommand& command : commands) {
    result = RunHelper(command);
    if (result > 32) return result;
  }
  return result;
}

bool LooksLikeProgram(const std::string& path) {
  std::size_t dot = path.find_last_of(".\\/");
  if (dot == std::string::npos || path[dot] != '.') return true;
  std::string extension = ToUpperAscii(path.substr(dot + 1));
  return extension == "EXE" || extension == "COM" || extension == "BAT" || extension == "CMD";
}

std::uintptr_t Open(const std::string& file, const std::string& parameters,
                    const std::string& directory, int show_command) {
  if (IsAddress(file)) {
    std::vector<HelperCommand> commands = BrowserCommands(file);
    commands.push_back({"xdg-open", file});
    return OpenWithHelpers(commands);
  }
  FoundFile found;
  if (LooksLikeProgram(file) && FindProgramFile(file, &found) == kErrorSuccess) {
    CreateProcessOptions options;
    options.current_directory = directory;
    options.startup.flags = kStartfUseShowWindow;
    options.startup.show_window = static_cast<std::uint16_t>(show_command);
    std::string line = QuoteArgument(found.windows_path);
    if (!parameters.empty()) line += " " + parameters;
    if (!CreateProcess(line, options, nullptr))
      return GetLastError() == kErrorAccessDenied ? kSeErrAccessDenied : kSeErrFileNotFound;
    return kShellExecuteSucceeded;
  }
  std::string host = ToHostPath(file);
  struct stat st;
  if (host.empty() || stat(host.c_str(), &st) != 0) return kSeErrFileNotFound;
  return OpenWithHelpers({{"xdg-open", host}});
}

}  // namespace

std::uintptr_t ShellExecute(const std::string& verb, const std::string& file,
                            const std::string& parameters, const std::string& directory,
                            int show_command) {
  std::uintptr_t result = kSeErrNoAssociation;
  if (verb.empty() || EqualsIgnoreCase(verb, "open"))
    result = Open(file, parameters, directory, show_command);
  ui::AppendTranscript(
      {"shell", verb.empty() ? "open" : verb, file, std::to_string(static_cast<unsigned>(result))});
  return result;
}

}  // namespace platform
