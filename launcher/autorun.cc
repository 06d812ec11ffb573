// The AutoRun state change.
#include "launcher/autorun.h"

#include <cstring>

#include "platform/registry.h"
#include "platform/sysinfo.h"

namespace zoma::launcher {
namespace {

namespace reg = platform::reg;

void WritePolicy(reg::Hkey key, std::uint32_t value) {
  unsigned char bytes[4];
  std::memcpy(bytes, &value, 4);  // little-endian, as Windows stores it
  reg::SetValue(key, kNoDriveTypeAutoRun, reg::kRegBinary, bytes, 4);
  reg::FlushKey(key);
}

}  // namespace

void AutoRunControl::SetState(int state) {
  if (state == state_.load()) return;
  state_.store(state);
  if (platform::GetVersionEx().platform_id != platform::kVerPlatformWin32Windows) return;
  reg::ScopedKey key;
  if (reg::OpenKey(reg::kCurrentUser, kExplorerPoliciesKey, reg::kKeyQueryValue | reg::kKeySetValue,
                   key.out()) != platform::kErrorSuccess)
    return;
  if (state == 0) {
    unsigned char bytes[4] = {};
    std::uint32_t type = 0, size = sizeof bytes;
    if (reg::QueryValue(key.get(), kNoDriveTypeAutoRun, &type, bytes, &size) !=
        platform::kErrorSuccess) {
      saved_ = kDefaultNoDriveTypeAutoRun;
      return;
    }
    std::memcpy(&saved_, bytes, 4);
    WritePolicy(key.get(), kAutoRunOff);
  } else {
    WritePolicy(key.get(), saved_);
  }
}

}  // namespace zoma::launcher
