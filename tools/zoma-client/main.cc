// zoma-client: the stand-in for ZOMA.EXE. It accepts a launch only with a valid
// LAUNCHCODE (the current or the previous 64-second window), prints its command line
// and what it can read of the launch record named by its last plain argument, and
// exits 0 when the handshake holds. With --write-record it makes a launch record, so
// that examples and tests need no other tool.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "clientcfg/launch_record.h"
#include "platform/command_line.h"
#include "platform/paths.h"
#include "updater/launch_code.h"

namespace {

constexpr int kExitAccepted = 0;
constexpr int kExitRejected = 2;
constexpr int kExitUsage = 64;

const char kUsage[] =
    "usage: zoma-client [ARGUMENTS...] [LAUNCH-RECORD]\n"
    "       zoma-client --write-record FILE [--command N] [--game N] [--mcp TEXT]\n"
    "                   [--affiliation TEXT] [--players N] [--url TEXT] [--argument TEXT]\n"
    "\n"
    "Stands in for the client program ZOMA.EXE. Started by the updater, it checks the\n"
    "LAUNCHCODE handshake, shows its command line and the launch record named by its\n"
    "last plain argument, and exits 0 when the handshake holds (2 otherwise).\n"
    "--write-record makes a 3,668-byte launch record with the given fields.\n";

// The command line as the parent wrote it, when the platform passed it on.
std::string CommandLine(int argc, char** argv) {
  std::vector<std::string> args(argv, argv + argc);
  if (const char* passed = std::getenv("ZOMA_CMDLINE"))
    if (platform::SplitCommandLine(passed).size() == args.size()) return passed;
  return platform::BuildCommandLine(args);
}

std::string HostPathOf(const std::string& path) {
  std::string host = platform::ToHostPath(path);
  return host.empty() ? path : host;
}

void ShowLaunchRecord(const std::string& path) {
  std::ifstream in(HostPathOf(path), std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  auto record = clientcfg::ParseLaunchRecord(bytes.str());
  if (!record) {
    std::printf("Launch record: %s (not a launch record)\n", path.c_str());
    return;
  }
  std::printf("Launch record: %s\n", path.c_str());
  std::printf("  Command: %d\n  GameID: %d\n  NumberOfPlayers: %d\n  LobbyID: %d\n",
              record->command, record->game_id, record->number_of_players, record->lobby_id);
  std::printf("  OverrideMCP: %s\n  Affiliation: %s\n", record->override_mcp.c_str(),
              record->affiliation.c_str());
  if (!record->command_url.empty()) std::printf("  URL: %s\n", record->command_url.c_str());
  for (std::size_t k = 0; k < record->mcps.size(); ++k)
    std::printf("  MCP%zu: %s\n", k + 1, clientcfg::FormatNumericAddress(record->mcps[k]).c_str());
}

int WriteRecord(int argc, char** argv) {
  if (argc < 3) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  clientcfg::LaunchRecord record;
  for (int i = 3; i + 1 < argc; i += 2) {
    std::string option = argv[i], value = argv[i + 1];
    if (option == "--command")
      record.command = std::atoi(value.c_str());
    else if (option == "--game")
      record.game_id = std::atoi(value.c_str());
    else if (option == "--players")
      record.number_of_players = std::atoi(value.c_str());
    else if (option == "--mcp")
      record.override_mcp = value;
    else if (option == "--affiliation")
      record.affiliation = value;
    else if (option == "--url")
      record.command_url = value;
    else if (option == "--argument")
      record.command_argument = value;
    else {
      std::fprintf(stderr, "zoma-client: unknown option %s\n%s", option.c_str(), kUsage);
      return kExitUsage;
    }
  }
  if ((argc - 3) % 2 != 0) {
    std::fprintf(stderr, "zoma-client: %s needs a value\n", argv[argc - 1]);
    return kExitUsage;
  }
  std::ofstream out(HostPathOf(argv[2]), std::ios::binary);
  out << clientcfg::SerializeLaunchRecord(record);
  if (!out.flush()) {
    std::fprintf(stderr, "zoma-client: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--write-record") == 0) return WriteRecord(argc, argv);
  if (argc >= 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  std::printf("ZOMA.EXE (stand-in client)\n");
  std::printf("Command line: %s\n", CommandLine(argc, argv).c_str());
  std::string record_path;
  for (int i = 1; i < argc; ++i)
    if (argv[i][0] != '/') record_path = argv[i];
  if (!record_path.empty()) ShowLaunchRecord(record_path);

  const char* code = std::getenv(zoma::kLaunchCodeVariable);
  if (!code) {
    std::printf("LAUNCHCODE: missing - launch refused\n");
    return kExitRejected;
  }
  if (!zoma::AcceptLaunchCode(code)) {
    std::printf("LAUNCHCODE: invalid (%s) - launch refused\n", code);
    return kExitRejected;
  }
  std::printf("LAUNCHCODE: valid - launch accepted\n");
  return kExitAccepted;
}
