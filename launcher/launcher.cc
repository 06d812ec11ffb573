// The main thread: the hidden main window, its procedure and the message loop.
#include "launcher/launcher.h"

#include <system_error>
#include <thread>

#include "launcher/resources.h"
#include "platform/ui.h"

namespace zoma::launcher {
namespace {

namespace ui = platform::ui;

// Class styles: redraw on horizontal and vertical size change, double clicks, own DC.
constexpr std::uint32_t kMainWindowClassStyle = 0x0001 | 0x0002 | 0x0008 | 0x0020;
constexpr std::uintptr_t kDialogTimer = 1;

std::uint32_t QueryCancelAutoPlayMessage() {
  static const std::uint32_t message = ui::RegisterWindowMessage("QueryCancelAutoPlay");
  return message;
}

// Dialog 107 after the browser started: closes itself when its timer (the time it is
// to be shown, in lparam) runs out, or at once when the timer cannot be set.
ui::LResult FarewellDialogProcedure(ui::WindowHandle dialog, std::uint32_t message, ui::WParam,
                                    ui::LParam lparam) {
  if (message == ui::kWmInitDialog) {
    if (!ui::SetTimer(dialog, kDialogTimer, static_cast<std::uint32_t>(lparam)))
      ui::DestroyWindow(dialog);
    return 1;
  }
  if (message == ui::kWmTimer) {
    ui::KillTimer(dialog, kDialogTimer);
    ui::DestroyWindow(dialog);
    return 1;
  }
  return 0;
}

ui::LResult MainWindowProcedure(LauncherState& state, ui::WindowHandle window,
                                std::uint32_t message, ui::WParam wparam, ui::LParam lparam) {
  if (message >= 0xC000 && message == QueryCancelAutoPlayMessage())
    return state.autorun.state() == 0 ? 1 : 0;
  switch (message) {
    case ui::kWmClose:
      ui::DestroyWindow(window);
      return 0;
    case ui::kWmDestroy:
      ui::PostQuitMessage(state.exit_code.load());
      return 0;
    case ui::kWmPaint:
      return 0;  // never visible: there is nothing to draw
    case kBrowserStartedMessage:
      ui::SetTimer(window, kCloseTimer, kCloseAfterMs);
      ui::CreateTextDialog(
          {kStartingBrowserDialog, kDialogCaption, DialogText(kStartingBrowserDialog)}, window,
          FarewellDialogProcedure, kFarewellDialogMs);
      return 0;
    case ui::kWmTimer:
      if (wparam == kCloseTimer) {
        ui::KillTimer(window, kCloseTimer);
        ui::PostMessage(window, ui::kWmClose, 0, 0);
      }
      return 0;
  }
  return ui::DefWindowProc(window, message, wparam, lparam);
}

void StartupError(int number) {
  ui::MessageBox(nullptr, UnexpectedErrorText(number), kStartupErrorCaption, ui::kMbOk);
}

}  // namespace

int RunLauncher(const std::vector<std::string>& arguments) {
  LauncherState state;
  state.arguments = arguments;

  ui::WindowClass window_class;
  window_class.name = kMainWindowClass;
  window_class.style = kMainWindowClassStyle;
  window_class.icon = kMainWindowIcon;
  window_class.procedure = [&state](ui::WindowHandle w, std::uint32_t m, ui::WParam wp,
                                    ui::LParam lp) {
    return MainWindowProcedure(state, w, m, wp, lp);
  };
  if (!ui::RegisterClass(window_class)) StartupError(1);
  state.window = ui::CreateWindow(kMainWindowClass, kMainWindowTitle, 0, 200, 200);
  if (!state.window) {
    StartupError(2);
    // Without a window nothing would ever end the message loop.
    return kExitStartupFailed;
  }

  std::thread worker;
  try {
    worker = std::thread([&state] { RunWorker(state); });
  } catch (const std::system_error&) {
    StartupError(3);
    state.exit_code = kExitStartupFailed;
    ui::DestroyWindow(state.window);
  }

  ui::Message message;
  while (ui::GetMessage(&message)) ui::DispatchMessage(message);
  // The worker has posted its last message before the loop could end.
  if (worker.joinable()) worker.join();
  return static_cast<int>(message.wparam);
}

}  // namespace zoma::launcher
