// zomaboot: applies what was scheduled for the next start of Windows in the prefix
// (WININIT.INI's [Rename] section, the delayed moves and deletes, RunOnce) and prints
// one line per action. Exits 1 when an action failed, 0 otherwise.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "platform/boot.h"
#include "platform/prefix.h"

int main(int argc, char** argv) {
  CLI::App app{"Applies what was scheduled for the next start of Windows."};
  bool if_pending = false;
  bool no_wait = false;
  bool quiet = false;
  app.add_flag("--if-pending", if_pending, "Only when a restart of Windows was requested");
  app.add_flag("--no-wait", no_wait, "Do not wait for RunOnce commands to end");
  app.add_flag("-q,--quiet", quiet, "Print nothing");
  CLI11_PARSE(app, argc, argv);

  platform::Status status = platform::kErrorSuccess;
  std::string prefix = platform::PrefixDirectory(&status);
  if (prefix.empty()) {
    std::fprintf(stderr, "zomaboot: the prefix cannot be used (error %u)\n", status);
    return 2;
  }
  if (if_pending && !platform::IsRestartPending()) {
    if (!quiet) std::printf("No restart of Windows is pending.\n");
    return 0;
  }
  platform::BootOptions options;
  options.wait_for_commands = !no_wait;
  platform::BootReport report = platform::ApplyPendingBootActions(options);
  if (!quiet) {
    for (const std::string& line : report.lines) std::printf("%s\n", line.c_str());
    if (report.lines.empty()) std::printf("Nothing to do.\n");
  }
  return report.any_failed ? 1 : 0;
}
