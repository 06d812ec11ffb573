// Loading a binary launch record: its fields become the keys of the text form, its
// addresses "family:host:port" texts.
#include <string>

#include "clientcfg/launch_file_internal.h"
#include "clientcfg/launch_record.h"

namespace clientcfg {
namespace {

using Access = LaunchFileAccess;

constexpr int kAddressSlots = 16;
// Room for "family:host:port" with any host name.
constexpr std::size_t kAddressTextSize = 300;

std::int32_t Number(std::string_view record, std::size_t offset) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<std::uint8_t>(record[offset + i]);
  return static_cast<std::int32_t>(value);
}

// A zero-terminated text within its field; one that fills the field ends there.
std::string Text(std::string_view record, std::size_t offset, std::size_t size) {
  std::string_view field = record.substr(offset, size);
  return std::string(field.substr(0, field.find('\0')));
}

std::string NumberedKey(const char* base, int k) { return base + std::to_string(k); }

// The addresses whose formatting succeeds, as keys base1 ... base16, up to the first
// failure; every other key of the series is deleted.
void LoadServerAddresses(LaunchFile& file, std::string_view record) {
  std::int32_t count = Number(record, kLaunchServerCountOffset);
  if (count > kAddressSlots) return;
  bool failed = false;
  for (int k = 1; k <= kAddressSlots; ++k) {
    std::string key = NumberedKey("Servorum", k);
    if (!failed && k <= count) {
      char text[kAddressTextSize];
      NetAddress address =
          ReadNetAddressSlot(record.substr(kLaunchServersOffset + (k - 1) * kNetAddressSlotSize));
      if (FormatNetAddress(address, text, sizeof text) == 0) {
        SetLaunchValue(&file, "Main", key.c_str(), text);
        continue;
      }
      failed = true;
    }
    DeleteLaunchValue(&file, "Main", key.c_str());
  }
}

void LoadMcpAddresses(LaunchFile& file, std::string_view record) {
  std::int32_t count = Number(record, kLaunchMcpCountOffset);
  for (int k = 1; k <= kAddressSlots; ++k) {
    std::string key = NumberedKey("MCP", k);
    if (k <= count) {
      char text[kAddressTextSize] = "";
      NetAddress address =
          ReadNetAddressSlot(record.substr(kLaunchMcpsOffset + (k - 1) * kNetAddressSlotSize));
      FormatNetAddress(address, text, sizeof text);
      SetLaunchValue(&file, "Main", key.c_str(), text);
    } else {
      DeleteLaunchValue(&file, "Main", key.c_str());
    }
  }
}

}  // namespace

int LoadLaunchRecord(LaunchFile& file, std::string_view record) {
  if (record.substr(0, 4) != std::string_view("\0\0\1\0", 4)) return kLaunchNotRecord;
  // A short record would be read past its end; the updater treats one as no record.
  if (record.size() < kLaunchRecordSize) return kLaunchUnreadable;
  EmptyLaunchFile(file);
  Access::loaded(file) = true;

  SetLaunchValue(&file, "Main", "Network", "Rallyer");
  SetLaunchInt(&file, "Main", "Command", Number(record, 4));
  SetLaunchInt(&file, "Main", "GameID", Number(record, 8));
  SetLaunchInt(&file, "Debug", "debugMask", Number(record, 12));
  SetLaunchValue(&file, "Main", "OverrideMCP", Text(record, 16, 80).c_str());
  SetLaunchValue(&file, "Main", "OverrideMM", Text(record, 96, 80).c_str());
  SetLaunchValue(&file, "Main", "OverrideChatServer", Text(record, 176, 80).c_str());
  SetLaunchValue(&file, "Main", "OverrideGameServer", Text(record, 256, 80).c_str());
  SetLaunchInt(&file, "Main", "ChatID", Number(record, 336));
  SetLaunchInt(&file, "Main", "NumberOfPlayers", Number(record, 340));
  LoadServerAddresses(file, record);
  SetLaunchInt(&file, "Main", "LobbyID", Number(record, 604));
  LoadMcpAddresses(file, record);

  int command = GetLaunchIndirectInt(&file, "Main", "Command", "CommandList", -1);
  const char* argument_key = command == 6    ? "PlayerIndex"
                             : command == 19 ? "PromoCode"
                             : command == 21 ? "Room"
                                             : nullptr;
  if (argument_key) SetLaunchValue(&file, "Main", argument_key, Text(record, 1108, 128).c_str());
  if (command == 4 || command == 20)
    SetLaunchValue(&file, "Main", "URL", Text(record, 1236, 880).c_str());
  return kLaunchOk;
}

}  // namespace clientcfg
