// The worker thread: the argument, the installation check, the installer from CD with
// AutoRun held off meanwhile, and the game page in the default browser.
#include <optional>

#include "launcher/game_class_id.h"
#include "launcher/installation_check.h"
#include "launcher/installer_search.h"
#include "launcher/launcher.h"
#include "launcher/page_address.h"
#include "launcher/resources.h"
#include "platform/process.h"
#include "platform/shell.h"
#include "platform/ui.h"

namespace zoma::launcher {
namespace {

namespace ui = platform::ui;

// Search results.
constexpr int kInstalled = 0;
constexpr int kNotFound = 1;
constexpr int kStillNotInstalled = 4;

// The shell takes at most this much of an address.
constexpr std::size_t kLongestShellAddress = 1023;

ui::WindowHandle ShowDialog(int dialog_id, ui::WindowHandle owner) {
  return ui::CreateTextDialog({dialog_id, kDialogCaption, DialogText(dialog_id)}, owner, {}, 0);
}

void DispatchPending() {
  ui::Message message;
  while (ui::PeekMessage(&message, true)) ui::DispatchMessage(message);
}

// Runs the installer and waits for it, keeping this thread's windows answering.
void RunInstaller(const std::string& program) {
  platform::CreateProcessOptions options;
  options.application_name = program;
  options.creation_flags = platform::kNormalPriorityClass;
  platform::ProcessInformation info;
  if (!platform::CreateProcess("", options, &info)) return;
  while (platform::WaitForSingleObject(info.process, 1) == platform::kWaitTimeout) {
    DispatchPending();
    ui::WaitForThreadMessage(1);
  }
  DispatchPending();
}

int SearchCdsAndInstall(ui::WindowHandle window) {
  ui::WindowHandle dialog = ShowDialog(kLookingForInstallerDialog, window);
  std::optional<std::string> installer = FindInstallerOnCdDrives();
  ui::DestroyWindow(dialog);
  if (!installer) return kNotFound;
  RunInstaller(*installer);
  return IsClientInstalled() ? kInstalled : kStillNotInstalled;
}

// Returns the exit code of the installation step (0 when the client is there now).
int EnsureInstalled(LauncherState& state) {
  if (IsClientInstalled()) return kExitBrowserStarted;
  int result = SearchCdsAndInstall(state.window);
  int code = kExitBrowserStarted;
  state.autorun.SetState(0);
  while (result == kNotFound) {
    if (ui::MessageBox(nullptr, kInsertCdText, kInstallerNotFoundCaption, ui::kMbOkCancel) ==
        ui::kIdCancel) {
      code = kExitNoInstaller;
      break;
    }
    result = SearchCdsAndInstall(state.window);
  }
  state.autorun.SetState(1);
  if (result > 3) {
    ui::MessageBox(nullptr, kInstallFailureText, kInstallFailureCaption, ui::kMbOk);
    code = kExitInstallFailed;
  }
  return code;
}

// Opens the game page; false when the browser could not be started.
bool OpenGamePage(LauncherState& state, const std::string& game_id) {
  std::string address = BuildPageAddress(TimeZoneOffsetWest(), game_id, LoadLauncherString)
                            .value_or(FallbackPageAddress(game_id));
  ui::WindowHandle dialog = ShowDialog(kStartingBrowserDialog, state.window);
  std::uintptr_t result = platform::ShellExecute("open", address.substr(0, kLongestShellAddress),
                                                 "", "", platform::kSwShowNormal);
  if (result > 32) {
    ui::DestroyWindow(dialog);
    ui::PostMessage(state.window, kBrowserStartedMessage, 0, 0);
    return true;
  }
  ui::MessageBox(nullptr, BrowserFailureText(address), kShellErrorCaption, ui::kMbOk);
  ui::DestroyWindow(dialog);
  return false;
}

}  // namespace

void RunWorker(LauncherState& state) {
  int code = kExitBrowserStarted;
  if (state.arguments.size() != 1)
    code = kExitArgumentCount;
  else if (!IsGameClassId(state.arguments[0]))
    code = kExitNotNumeric;
  else
    code = EnsureInstalled(state);

  if (code == kExitBrowserStarted && !OpenGamePage(state, state.arguments[0]))
    code = kExitBrowserFailed;

  if (code == kExitNoInstaller)
    ui::MessageBox(nullptr, LookForInstallerText(), kInstallerNotFoundCaption, ui::kMbOk);
  else if (code == kExitArgumentCount)
    ui::MessageBox(nullptr, kArgumentCountText, kArgumentCountCaption, ui::kMbOk);
  else if (code == kExitNotNumeric)
    ui::MessageBox(nullptr, kNonNumericText, kNonNumericCaption, ui::kMbOk);

  state.exit_code = code;
  // Success leaves the closing to the main window's timer.
  if (code != kExitBrowserStarted) ui::PostMessage(state.window, ui::kWmClose, 0, 0);
}

}  // namespace zoma::launcher
