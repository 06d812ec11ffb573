// zoma-client: the stand-in for ZOMA.EXE. It accepts a launch only with a valid
// LAUNCHCODE (the current or the previous 64-second window), prints its command line
// and what it reads, through the launch file library, of the launch record named by its
// last plain argument, and exits 0 when the handshake holds. With --write-record it
// makes a launch record, so that examples and tests need no other tool.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "clientcfg/launch_file.h"
#include "clientcfg/launch_record.h"
#include "platform/command_line.h"
#include "platform/paths.h"
#include "updater/launch_code.h"
#include "updater/launch_record_fields.h"

namespace {

constexpr int kExitAccepted = 0;
constexpr int kExitRejected = 2;
constexpr int kExitUsage = 64;

const char kUsage[] =
    "usage: zoma-client [ARGUMENTS...] [LAUNCH-RECORD]\n"
    "       zoma-client --write-record FILE [--command N] [--game N] [--players N]\n"
    "                   [--lobby N] [--chat N] [--debug-mask N] [--mcp TEXT] [--mm TEXT]\n"
    "                   [--chat-server TEXT] [--game-server TEXT] [--affiliation TEXT]\n"
    "                   [--url TEXT] [--argument TEXT] [--server ADDRESS]...\n"
    "                   [--mcp-address ADDRESS]... [--server-count N] [--mcp-count N]\n"
    "\n"
    "Stands in for the client program ZOMA.EXE. Started by the updater, it checks the\n"
    "LAUNCHCODE handshake, shows its command line and the launch record named by its\n"
    "last plain argument, and exits 0 when the handshake holds (2 otherwise).\n"
    "--write-record makes a 3,668-byte launch record with the given fields. An ADDRESS is\n"
    "family:host:port (tcp or udp); the counts default to the number of addresses given.\n";

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
  clientcfg::LaunchFile* file = clientcfg::NewLaunchFile();
  int status = clientcfg::LoadLaunchFile(file, path.c_str(), 0);
  if (status != clientcfg::kLaunchOk) {
    std::printf("Launch record: %s (not a launch record: %s)\n", path.c_str(),
                clientcfg::LaunchStatusText(status));
    clientcfg::FreeLaunchFile(file);
    return;
  }
  auto value = [&](const char* section, const char* key) {
    return clientcfg::GetLaunchValue(file, section, key, "");
  };
  std::printf("Launch record: %s\n", path.c_str());
  for (const char* key : {"Command", "GameID", "NumberOfPlayers", "LobbyID", "OverrideMCP"})
    std::printf("  %s: %s\n", key, value("Main", key));
  // The affiliation code is read from the record itself, as the updater reads it.
  auto fields = zoma::ReadLaunchRecordFields(HostPathOf(path));
  std::printf("  Affiliation: %s\n", fields ? fields->affiliation.c_str() : "");
  for (const char* key : {"URL", "PlayerIndex", "PromoCode", "Room"})
    if (*value("Main", key)) std::printf("  %s: %s\n", key, value("Main", key));
  for (const char* base : {"Servorum", "MCP"})
    for (int k = 1; k <= 16; ++k) {
      std::string key = base + std::to_string(k);
      const char* address = clientcfg::GetLaunchValue(file, "Main", key.c_str(), nullptr);
      if (address) std::printf("  %s: %s\n", key.c_str(), address);
    }
  clientcfg::FreeLaunchFile(file);
}

bool ParseNumber(const std::string& text, std::int32_t* number) {
  char* end = nullptr;
  long long value = std::strtoll(text.c_str(), &end, 0);
  if (text.empty() || *end != '\0' || value < INT32_MIN || value > 0xFFFFFFFFLL) return false;
  *number = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
  return true;
}

int WriteRecord(int argc, char** argv) {
  if (argc < 3) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  using Record = clientcfg::LaunchRecord;
  static const std::pair<const char*, std::int32_t Record::*> kNumbers[] = {
      {"--command", &Record::command},
      {"--game", &Record::game_id},
      {"--players", &Record::number_of_players},
      {"--lobby", &Record::lobby_id},
      {"--chat", &Record::chat_id},
      {"--debug-mask", &Record::debug_mask}};
  static const std::pair<const char*, std::optional<std::int32_t> Record::*> kCounts[] = {
      {"--server-count", &Record::server_count}, {"--mcp-count", &Record::mcp_count}};
  static const std::pair<const char*, std::string Record::*> kTexts[] = {
      {"--mcp", &Record::override_mcp},
      {"--mm", &Record::override_mm},
      {"--chat-server", &Record::override_chat_server},
      {"--game-server", &Record::override_game_server},
      {"--affiliation", &Record::affiliation},
      {"--url", &Record::command_url},
      {"--argument", &Record::command_argument}};
  Record record;
  for (int i = 3; i + 1 < argc; i += 2) {
    std::string option = argv[i], value = argv[i + 1];
    bool known = false;
    for (const auto& [name, member] : kNumbers)
      if (option == name) {
        known = true;
        if (!ParseNumber(value, &(record.*member))) {
          std::fprintf(stderr, "zoma-client: %s needs a number, not %s\n", name, value.c_str());
          return kExitUsage;
        }
      }
    for (const auto& [name, member] : kCounts)
      if (option == name) {
        known = true;
        std::int32_t count = 0;
        if (!ParseNumber(value, &count)) {
          std::fprintf(stderr, "zoma-client: %s needs a number, not %s\n", name, value.c_str());
          return kExitUsage;
        }
        record.*member = count;
      }
    for (const auto& [name, member] : kTexts)
      if (option == name) {
        known = true;
        record.*member = value;
      }
    if (option == "--server" || option == "--mcp-address") {
      known = true;
      clientcfg::NetAddress address;
      if (clientcfg::ParseNetAddress(value.c_str(), &address) != 0) {
        std::fprintf(stderr, "zoma-client: %s is not a family:host:port address\n", value.c_str());
        return kExitUsage;
      }
      (option == "--server" ? record.servers : record.mcps).push_back(address);
    }
    if (!known) {
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
