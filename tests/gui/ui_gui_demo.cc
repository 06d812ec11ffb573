// A stand-in for the updater's use of the user-interface layer, for the windowed tests:
// the UI thread opens the progress window and pumps its messages while a worker thread
// advances the bar and the status line and asks questions. Every step and answer is
// printed on standard output, one line each, so that a driving script can follow.
//
//   ui_gui_demo [--hold-ms N] [--step-ms N] [--questions] [--clipboard]
//               [--open-dialog WINDOWS-PATH] [--folder-dialog] [--wait-for-enter]
//
//   --hold-ms N       pause N ms at 50 % (after printing "halfway"), for a screenshot
//   --questions       at 75 % the worker asks three message boxes
//   --clipboard       at 25 % the worker puts a text on the clipboard and reads it back
//   --open-dialog P   at 90 % the worker asks for a text file, offering P
//   --folder-dialog   at 95 % the worker asks for a directory
//   --wait-for-enter  after the run the window stays until Enter or Cancel closes it
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "platform/ui.h"

namespace {

namespace ui = platform::ui;

constexpr char kCaption[] = "Zoma Software Updater";
constexpr char kStopQuestion[] =
    "Please note, you will need the full update in order to play games on ZOMA.  You can stop "
    "now and download the remaining files later or you can continue the upgrade and then "
    "play.  \n\nDo you still wish to stop the update?";

std::mutex print_mutex;
void Say(const std::string& line) {
  std::lock_guard<std::mutex> lock(print_mutex);
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

struct Options {
  int hold_ms = 0;
  int step_ms = 40;
  bool questions = false;
  bool clipboard = false;
  std::string open_dialog;
  bool folder_dialog = false;
  bool wait_for_enter = false;
};

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool has_value = i + 1 < argc;
    if (arg == "--hold-ms" && has_value) options.hold_ms = std::atoi(argv[++i]);
    if (arg == "--step-ms" && has_value) options.step_ms = std::atoi(argv[++i]);
    if (arg == "--questions") options.questions = true;
    if (arg == "--clipboard") options.clipboard = true;
    if (arg == "--open-dialog" && has_value) options.open_dialog = argv[++i];
    if (arg == "--folder-dialog") options.folder_dialog = true;
    if (arg == "--wait-for-enter") options.wait_for_enter = true;
  }
  return options;
}

int Ask(const ui::ProgressWindow* owner, const std::string& name, const std::string& text,
        std::uint32_t style) {
  Say("asking " + name);
  int answer = ui::MessageBox(owner, text, name, style | ui::kMbSetForeground);
  Say("answer " + name + " " + ui::ResultName(answer));
  return answer;
}

}  // namespace

int main(int argc, char** argv) {
  Options options = ParseOptions(argc, argv);
  Say(std::string("backend ") + ui::BackendName());
  Say("screen " + std::to_string(ui::GetSystemMetrics(0)) + "x" +
      std::to_string(ui::GetSystemMetrics(1)));
  ui::MessageBeep(0x30);

  std::atomic<bool> stopped{false};
  std::atomic<bool> busy{true};
  std::shared_ptr<ui::ProgressWindow> window;
  // Commands arrive on this (the UI) thread, from the pump.
  window = ui::CreateProgressWindow({kCaption, "Initializing..."}, [&](ui::Command command) {
    Say(command == ui::Command::kCancel ? "command Cancel" : "command Enter");
    if (command == ui::Command::kEnter) {
      window->Close();
      return;
    }
    if (Ask(window.get(), "Stop the update?", kStopQuestion, ui::kMbYesNo | ui::kMbIconQuestion) ==
        ui::kIdYes) {
      stopped = true;
      window->Close();
    }
  });

  std::thread worker([&] {
    for (int percent = 0; percent <= 100 && !stopped; percent += 5) {
      window->SetProgress(percent);
      window->SetStatus("Downloading ZOMA.EXE: file " + std::to_string(percent / 5 + 1) +
                        " of 21 (" + std::to_string(percent) + "%)...");
      if (percent == 25 && options.clipboard) {
        ui::SetClipboardText("Zoma clipboard text");
        Say("clipboard " + ui::GetClipboardText().value_or("(none)"));
      }
      if (percent == 90 && !options.open_dialog.empty()) {
        ui::FileDialogRequest request;
        request.title = "Choose a text file";
        static const char kFilter[] = "Text files\0*.txt\0All files\0*.*\0";
        request.filter = std::string(kFilter, sizeof kFilter);  // with the final zero
        std::size_t slash = options.open_dialog.rfind('\\');
        request.initial_directory = options.open_dialog.substr(0, slash);
        request.initial_file = options.open_dialog.substr(slash + 1);
        request.flags = 0x1000;  // the file must exist
        Say("asking open dialog");
        Say("chosen " + ui::BrowseForFile(request).value_or("(cancelled)"));
      }
      if (percent == 95 && options.folder_dialog) {
        Say("asking folder dialog");
        Say("chosen " + ui::BrowseForFolder("Please choose a directory.").value_or("(cancelled)"));
      }
      if (percent == 50) {
        Say("halfway");
        std::this_thread::sleep_for(std::chrono::milliseconds(options.hold_ms));
      }
      if (percent == 75 && options.questions) {
        // From the update thread, as the updater's error and disk-space boxes are.
        Ask(window.get(), "Question one", "Go on with the update?",
            ui::kMbYesNoCancel | ui::kMbIconQuestion | ui::kMbDefButton2);
        Ask(window.get(), "Question two", "Replace the old files? (@mail support@zoma & co)",
            ui::kMbYesNo);
        Ask(window.get(), "Question three",
            "There is not enough disk space.\nPlease free 1024 bytes and click OK.",
            ui::kMbOkCancel | ui::kMbIconExclamation);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(options.step_ms));
    }
    window->SetStatus(stopped ? "Stopped." : "Update complete.");
    Say("worker done");
    busy = false;
  });

  // The UI thread's loop: pump, and sleep until there is something to do.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while ((busy || (options.wait_for_enter && window->Exists())) &&
         std::chrono::steady_clock::now() < deadline)
    ui::WaitForMessages(50);
  worker.join();
  window->Close();
  ui::PumpMessages();
  bool in_time = std::chrono::steady_clock::now() < deadline;
  Say(in_time ? "completed" : "timed out");
  return in_time ? 0 : 1;
}
