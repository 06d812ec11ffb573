// The progress window's logic: status, progress bar, the "Update Error" box, the
// time-remaining text, the disk-space question, and the user's Cancel (with its
// question) and Enter, on the user-interface layer.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/ui.h"
#include "updater/system_services.h"
#include "updater/update_engine.h"

namespace zoma {

inline constexpr const char* kUpdaterCaption = "Zoma Software Updater";

class ProgressDialog : public SessionDisplay {
 public:
  ProgressDialog(SystemServices& system, SessionControl& session);

  /// Creates and shows the window.
  void Create();
  /// False before Create, after Cancel plus Yes or Enter, and after Close.
  bool Exists() const;
  void Hide();
  void Close();

  /// A message box of the application, owned by the window while it exists.
  int Ask(const std::string& text, std::uint32_t style);

  // SessionDisplay.
  void Status(const std::string& text) override;
  void Progress(int percent) override;
  void Error(const std::string& text) override;
  std::string TimeRemainingText(int percent) override;
  bool DiskSpaceCheck(std::uint32_t bytes_needed) override;

  /// Cancel or Enter from the user (UI thread).
  void OnCommand(platform::ui::Command command);

 private:
  std::shared_ptr<platform::ui::ProgressWindow> OpenWindow() const;

  SystemServices& system_;
  SessionControl& session_;
  mutable std::mutex mutex_;
  std::shared_ptr<platform::ui::ProgressWindow> window_;
  std::optional<std::time_t> time_start_;
};

}  // namespace zoma
