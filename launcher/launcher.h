// GoToZOMA: started with a game class identifier, it makes sure the client software is
// installed (running the installer from a CD when it is not) and opens the game's page
// in the default browser. The main thread owns a hidden window and its message loop;
// a worker thread does the work and talks to it only by posted messages and the shared
// exit code and AutoRun state.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "launcher/autorun.h"
#include "platform/ui_window.h"

namespace zoma::launcher {

// Exit codes.
inline constexpr int kExitBrowserStarted = 0;
inline constexpr int kExitNoInstaller = 1;
inline constexpr int kExitArgumentCount = 2;
inline constexpr int kExitNotNumeric = 3;
inline constexpr int kExitInstallFailed = 4;
inline constexpr int kExitBrowserFailed = 5;
// The program could not set itself up (no window, no worker thread).
inline constexpr int kExitStartupFailed = 6;

// The private message that starts the closing timer, and the timers.
inline constexpr std::uint32_t kBrowserStartedMessage = 5355;
inline constexpr std::uintptr_t kCloseTimer = 5355;
inline constexpr std::uint32_t kCloseAfterMs = 5000;
inline constexpr std::uint32_t kFarewellDialogMs = 4500;

// What the two threads share.
struct LauncherState {
  std::vector<std::string> arguments;
  platform::ui::WindowHandle window = 0;
  std::atomic<int> exit_code{0};
  AutoRunControl autorun;
};

/// Runs the launcher with the arguments after the program name; the exit code.
int RunLauncher(const std::vector<std::string>& arguments);

/// The worker thread's work (worker.cc).
void RunWorker(LauncherState& state);

}  // namespace zoma::launcher
