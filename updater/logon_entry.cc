// Registering the logon entry.
#include "updater/logon_entry.h"

#include "platform/ascii.h"
#include "platform/registry.h"

namespace zoma {

void RegisterLogonEntry(const std::string& installed_file) {
  if (!platform::EndsWithIgnoreCase(installed_file, "zoma")) return;
  namespace reg = platform::reg;
  reg::ScopedKey key;
  if (reg::OpenKey(reg::kLocalMachine, kRunOnceKey, reg::kKeyAllAccess, key.out()) !=
      platform::kErrorSuccess)
    return;
  const std::string command = kLogonEntryCommand;
  reg::SetValue(key.get(), kLogonEntryName, reg::kRegSz, command.c_str(),
                static_cast<std::uint32_t>(command.size() + 1));
}

}  // namespace zoma
