// The post-update actions available so far.
#include "updater/post_update.h"

#include "clientcfg/path_list.h"
#include "updater/launch_code.h"
#include "updater/update_settings.h"

namespace zoma {
namespace {

namespace ui = platform::ui;

class PendingPostUpdateActions : public PostUpdateActions {
 public:
  explicit PendingPostUpdateActions(SystemServices& system) : system_(system) {}

  void RunPostUpdateScript(const std::string&, const std::string&) override {
    // Hook: the script language runs "ZOMA.UPD" here.
  }

  void RestartWindows(ProgressDialog&) override {
    // Hook: the replacement system files and the restart question come here.
    system_.ExitProcess(0);
  }

  bool StartLaunchTarget(const std::string& command_line, bool just_checking) override {
    if (just_checking) {
      ui::MessageBox(nullptr, command_line, "Just Checking!",
                     ui::kMbOk | ui::kMbIconInformation | ui::kMbSetForeground);
      return true;
    }
    // A program started from the Alternate directory finds the library copy there first.
    if (command_line.find("Alternate") != std::string::npos) {
      if (std::optional<std::string> root = RootDirectory()) {
        clientcfg::OwnedText path =
            clientcfg::PathListAppend(std::nullopt, (*root + "\\Alternate").c_str());
        path = clientcfg::PathListAppend(path, system_.GetEnvironment("PATH").value_or("").c_str());
        if (path) system_.SetEnvironment("PATH", *path);
      }
    }
    SetLaunchCode(system_);
    return system_.StartProcess(command_line);
  }

 private:
  SystemServices& system_;
};

}  // namespace

void SetLaunchCode(SystemServices& system) {
  system.SetEnvironment(kLaunchCodeVariable, MakeLaunchCode(system.Now()));
}

std::unique_ptr<PostUpdateActions> CreatePostUpdateActions(SystemServices& system) {
  return std::make_unique<PendingPostUpdateActions>(system);
}

}  // namespace zoma
