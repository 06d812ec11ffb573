// ZomaUp's start-up and main loop: the role (ordinary, fix copy, post-fix, fix stub),
// the single instance, the update library, the PATH, the progress window, the update
// passes, and the chaining through the Alternate directory.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "updater/client_updater.h"
#include "updater/command_line_args.h"
#include "updater/post_update.h"
#include "updater/progress_dialog.h"
#include "updater/system_services.h"
#include "updater/update_library.h"
#include "updater/update_log.h"

namespace zoma {

inline constexpr const char* kSingleInstanceMutex = "ZomaUp There Can Be Only One";

class Application {
 public:
  Application(SystemServices& system, PostUpdateActions& post_update);
  ~Application();

  /// Runs the whole program; the exit code.
  int Run();

 private:
  bool PrepareEnvironment();
  void BuildCommandLine();
  void RemoveAlternateCopies();
  /// The loop of update passes, from the first pass to the start of the launch target.
  void RunPasses();
  /// Update thread: the session is about to replace one of the updater's files.
  void ChainThroughAlternate(const std::string& target_directory);
  void ChainAsFixStub();
  void CopyTrustedKeys(const std::string& programs_directory);
  /// Starts the alternate command line and ends the process; returns when it failed.
  void StartAlternate();
  void ShowUnexpectedFailure();
  std::string AlternateDirectory() const { return root_ + "\\Alternate"; }

  SystemServices& system_;
  PostUpdateActions& post_update_;
  StartupArguments args_;
  bool fix_stub_ = false;
  bool add_postfix_ = false;
  bool add_nomotd_ = false;
  bool extra_arguments_ = true;
  std::string root_;
  std::string launch_target_;
  std::string command_line_;
  std::string region_text_;
  std::optional<LoadedUpdateLibrary> library_;
  std::unique_ptr<UpdateLog> log_;
  std::unique_ptr<ClientUpdater> engine_;
  std::unique_ptr<ProgressDialog> dialog_;
};

}  // namespace zoma
