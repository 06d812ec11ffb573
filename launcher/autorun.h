// AutoRun of inserted discs, suppressed while the launcher waits for its CD: the
// window answers "QueryCancelAutoPlay" by the state, and on Windows 95/98 (which do not
// send that message) the Explorer policy NoDriveTypeAutoRun is set to 255 meanwhile.
#pragma once

#include <atomic>
#include <cstdint>

namespace zoma::launcher {

inline constexpr char kExplorerPoliciesKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
inline constexpr char kNoDriveTypeAutoRun[] = "NoDriveTypeAutoRun";
// What Windows 95 assumes when the policy is absent; 255 turns AutoRun off everywhere.
inline constexpr std::uint32_t kDefaultNoDriveTypeAutoRun = 149;
inline constexpr std::uint32_t kAutoRunOff = 255;

class AutoRunControl {
 public:
  /// 1 = AutoRun allowed (the initial state), 0 = suppressed. Read by any thread.
  int state() const { return state_.load(); }

  /// Changes the state; on Windows 95/98 also the policy value (saved on the way to 0,
  /// restored on the way back). Setting the state it has does nothing.
  void SetState(int state);

 private:
  std::atomic<int> state_{1};
  std::uint32_t saved_ = kDefaultNoDriveTypeAutoRun;
};

}  // namespace zoma::launcher
