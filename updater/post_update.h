// What follows a successful update pass: the post-update script, the Windows-restart
// step after a second pass, and the start of the launch target. The application calls
// these through one interface so that tests can drive the start-up sequence without them.
#pragma once

#include <memory>
#include <string>

#include "updater/progress_dialog.h"
#include "updater/system_services.h"

namespace zoma {

class PostUpdateActions {
 public:
  virtual ~PostUpdateActions() = default;
  /// Runs the installation's post-update script ("ZOMA.UPD" in Programs), if any.
  virtual void RunPostUpdateScript(const std::string& root, const std::string& affiliation) = 0;
  /// After the second pass: installs the replacement system files, offers to restart
  /// Windows and ends the process.
  virtual void RestartWindows(ProgressDialog& dialog) = 0;
  /// Starts the launch target's command line; false when it cannot be started.
  virtual bool StartLaunchTarget(const std::string& command_line, bool just_checking) = 0;
};

/// LAUNCHCODE for the current time, set in this process's environment for the child.
void SetLaunchCode(SystemServices& system);

/// The real actions: the script language, the platform's setup file install and
/// restart request, and the process start.
std::unique_ptr<PostUpdateActions> CreatePostUpdateActions(SystemServices& system);

}  // namespace zoma
