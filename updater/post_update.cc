// What follows a successful update pass: the post-update script, the Windows-restart
// step after a second pass, and the start of the launch target.
#include "updater/post_update.h"

#include <string>
#include <vector>

#include "clientcfg/path_list.h"
#include "platform/ascii.h"
#include "platform/boot.h"
#include "platform/files.h"
#include "platform/setup_install.h"
#include "script/tessel.h"
#include "updater/launch_code.h"
#include "updater/update_log.h"
#include "updater/update_settings.h"

namespace zoma {
namespace {

namespace ui = platform::ui;

constexpr const char* kReplacementSuffix = ".zoma";

class DefaultPostUpdateActions : public PostUpdateActions {
 public:
  explicit DefaultPostUpdateActions(SystemServices& system) : system_(system) {}

  void RunPostUpdateScript(const std::string& root, const std::string& affiliation) override {
    const std::string script_path = ProgramsFilePath("ZOMA.UPD");
    if (script_path.empty() || !system_.Exists(script_path)) return;
    script::Instance* instance = script::CreateInstance();
    if (!instance) return;
    constexpr std::uint32_t kCopied = 3;
    script::SetVariable(instance, "GameID", "", kCopied);
    script::SetVariable(instance, "GameLocation", root, kCopied);
    script::SetVariable(instance, "Affiliation", affiliation, kCopied);
    {
      // The script's output is not used; it only has to be released.
      script::TextBuffer output;
      script::EvaluateFile(output, script_path, instance);
    }
    // A script that was stopped does not stop the updater; the log says what happened.
    if (instance->memory_limit_hit() || instance->nesting_limit_hit()) {
      UpdateLog log(system_, [&root] { return std::optional<std::string>(root); });
      log.Write(instance->memory_limit_hit()
                    ? "Post-update script stopped: a text grew past its limit or memory ran out."
                    : "Post-update script stopped: calls nested too deep.");
    }
    script::DestroyInstance(instance);
  }

  void RestartWindows(ProgressDialog& dialog) override {
    InstallReplacementSystemFiles();
    const int answer =
        ui::MessageBox(nullptr,
                       "You will need to restart Windows before you can play on Zoma.\n\n"
                       "Would you like to restart Windows now?",
                       "Restart Windows", ui::kMbYesNo | ui::kMbIconStop | ui::kMbSetForeground);
    if (answer == ui::kIdYes) {
      dialog.Hide();
      platform::ExitWindowsEx(platform::kEwxReboot, 0);
    }
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
  // "x.dll.zoma" in the system directory replaces "x.dll"; a file in use is replaced
  // at the restart. Failures are not reported: the restart question comes anyway.
  void InstallReplacementSystemFiles() {
    const std::string directory = system_.SystemDirectory();
    const std::size_t suffix_length = std::char_traits<char>::length(kReplacementSuffix);
    std::vector<std::string> names;
    platform::FindData found;
    platform::FindHandle search =
        platform::FindFirstFile(directory + "\\*" + kReplacementSuffix, &found);
    for (bool more = search.valid(); more; more = platform::FindNextFile(search, &found)) {
      if (found.attributes & platform::kFileAttributeDirectory) continue;
      // The search also matches short names; only a long name ending in ".zoma" counts.
      if (found.name.size() <= suffix_length ||
          !platform::EndsWithIgnoreCase(found.name, kReplacementSuffix))
        continue;
      names.push_back(found.name);
    }
    platform::FindClose(search);
    // Installed after the search: each install deletes its source from the directory.
    for (const std::string& name : names) {
      const std::string target = name.substr(0, name.size() - suffix_length);
      bool in_use = false;
      platform::SetupInstallFileEx(directory + "\\" + name, directory + "\\" + target,
                                   platform::kSpCopyDeleteSource | platform::kSpCopyNewerOrSame |
                                       platform::kSpCopySourceAbsolute |
                                       platform::kSpCopyForceInUse | platform::kSpCopyNoSkip |
                                       platform::kSpCopyForceNewer,
                                   &in_use);
    }
  }

  SystemServices& system_;
};

}  // namespace

void SetLaunchCode(SystemServices& system) {
  system.SetEnvironment(kLaunchCodeVariable, MakeLaunchCode(system.Now()));
}

std::unique_ptr<PostUpdateActions> CreatePostUpdateActions(SystemServices& system) {
  return std::make_unique<DefaultPostUpdateActions>(system);
}

}  // namespace zoma
