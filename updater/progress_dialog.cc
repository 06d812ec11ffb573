// The progress window's logic.
#include "updater/progress_dialog.h"

#include <cstdio>

#include "updater/progress_arithmetic.h"
#include "updater/string_table.h"

namespace zoma {

namespace ui = platform::ui;

ProgressDialog::ProgressDialog(SystemServices& system, SessionControl& session)
    : system_(system), session_(session) {}

void ProgressDialog::Create() {
  ui::ProgressTemplate layout;
  layout.caption = kUpdaterCaption;
  layout.initial_status = "Initializing...";
  auto window = ui::CreateProgressWindow(layout, [this](ui::Command c) { OnCommand(c); });
  std::lock_guard<std::mutex> lock(mutex_);
  window_ = std::move(window);
}

std::shared_ptr<ui::ProgressWindow> ProgressDialog::OpenWindow() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (window_ && !window_->Exists()) return nullptr;
  return window_;
}

bool ProgressDialog::Exists() const { return OpenWindow() != nullptr; }

void ProgressDialog::Hide() {
  if (auto window = OpenWindow()) window->Hide();
}

void ProgressDialog::Close() {
  std::shared_ptr<ui::ProgressWindow> window;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    window.swap(window_);
  }
  if (window) window->Close();
}

int ProgressDialog::Ask(const std::string& text, std::uint32_t style) {
  auto window = OpenWindow();
  return ui::MessageBox(window.get(), text, kUpdaterCaption, style);
}

void ProgressDialog::Status(const std::string& text) {
  if (auto window = OpenWindow()) window->SetStatus(text);
}

void ProgressDialog::Progress(int percent) {
  if (auto window = OpenWindow()) window->SetProgress(percent);
}

void ProgressDialog::Error(const std::string& text) {
  if (auto window = OpenWindow())
    ui::MessageBox(window.get(), text, "Update Error",
                   ui::kMbOk | ui::kMbIconStop | ui::kMbTaskModal);
}

std::string ProgressDialog::TimeRemainingText(int percent) {
  std::time_t now = system_.Now();
  std::time_t start;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!time_start_) time_start_ = now;
    start = *time_start_;
  }
  return zoma::TimeRemainingText(percent, now - start);
}

bool ProgressDialog::DiskSpaceCheck(std::uint32_t bytes_needed) {
  // Like every window operation, nothing once the window is gone (Enter, or Cancel and
  // Yes): no question is asked and the update goes on as it was left.
  if (!OpenWindow()) return true;
  std::optional<std::uint32_t> free_bytes = system_.FreeDiskSpace();
  if (!free_bytes) return false;
  if (bytes_needed <= *free_bytes) return true;
  char text[512];
  std::snprintf(text, sizeof text,
                "There is not enough disk space to update the Zoma Client Software.  Please free "
                "%u bytes and click OK to continue with the update.  You may click CANCEL to "
                "cancel the update.",
                static_cast<unsigned>(bytes_needed));
  return Ask(text, ui::kMbOkCancel | ui::kMbIconExclamation) != ui::kIdCancel;
}

void ProgressDialog::OnCommand(ui::Command command) {
  if (command == ui::Command::kEnter) {
    std::shared_ptr<ui::ProgressWindow> window;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      window.swap(window_);
    }
    session_.FinishNow();
    if (window) window->Close();
    return;
  }
  int answer = Ask(
      "Please note, you will need the full update in order to play games on ZOMA.  You can stop "
      "now and download the remaining files later or you can continue the upgrade and then "
      "play.  \n\nDo you still wish to stop the update?",
      ui::kMbYesNo | ui::kMbIconQuestion);
  if (answer != ui::kIdYes) return;
  session_.MarkStopped();
  Close();
  ui::MessageBox(nullptr, LoadResourceString(kStrUpdateCancelledNotice), kUpdaterCaption,
                 ui::kMbOk | ui::kMbIconExclamation);
}

}  // namespace zoma
