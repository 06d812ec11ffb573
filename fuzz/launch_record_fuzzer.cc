// Launch records as the client and the updater read them: any bytes end in a record or
// a refusal, and a parsed record written out reads back the same.
#include "clientcfg/launch_record.h"
#include "fuzz/fuzz_input.h"
#include "updater/launch_record_fields.h"
#include "updater/update_sources.h"

namespace {

bool SameAddresses(const std::vector<clientcfg::NetAddress>& a,
                   const std::vector<clientcfg::NetAddress>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].family != b[i].family || a[i].port != b[i].port || a[i].ipv4 != b[i].ipv4) {
      return false;
    }
  }
  return true;
}

bool SameRecords(const clientcfg::LaunchRecord& a, const clientcfg::LaunchRecord& b) {
  return a.command == b.command && a.game_id == b.game_id && a.debug_mask == b.debug_mask &&
         a.override_mcp == b.override_mcp && a.override_mm == b.override_mm &&
         a.override_chat_server == b.override_chat_server &&
         a.override_game_server == b.override_game_server && a.chat_id == b.chat_id &&
         a.number_of_players == b.number_of_players && a.server_count == b.server_count &&
         SameAddresses(a.servers, b.servers) && a.lobby_id == b.lobby_id &&
         a.mcp_count == b.mcp_count && SameAddresses(a.mcps, b.mcps) &&
         a.command_argument == b.command_argument && a.command_url == b.command_url &&
         a.affiliation == b.affiliation;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes = fuzz::AsText(data, size);

  if (std::optional<clientcfg::LaunchRecord> record = clientcfg::ParseLaunchRecord(bytes)) {
    for (const auto& address : record->servers) clientcfg::FormatNumericAddress(address);
    for (const auto& address : record->mcps) clientcfg::FormatNumericAddress(address);
    std::string written = clientcfg::SerializeLaunchRecord(*record);
    fuzz::Require(written.size() == clientcfg::kLaunchRecordSize, "a record is 3668 bytes");
    std::optional<clientcfg::LaunchRecord> again = clientcfg::ParseLaunchRecord(written);
    fuzz::Require(again && SameRecords(*record, *again), "a written record reads back the same");
  }

  if (std::optional<zoma::LaunchRecordFields> fields = zoma::ParseLaunchRecordFields(bytes)) {
    zoma::RegionFromText(fields->region_text);
  }
  return 0;
}
