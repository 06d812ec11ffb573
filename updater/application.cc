// ZomaUp's start-up sequence, main loop and chaining.
#include "updater/application.h"

#include "clientcfg/path_list.h"
#include "clientcfg/settings_store.h"
#include "platform/ascii.h"
#include "platform/command_line.h"
#include "platform/registry.h"
#include "updater/string_table.h"
#include "updater/update_settings.h"

namespace zoma {
namespace {

namespace ui = platform::ui;

// The update library's trusted signing keys, kept beside it.
constexpr const char* kTrustedKeysFile = "mrbupd.keys";

std::string DirectoryOf(const std::string& path) {
  std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string BaseNameWithoutExtension(const std::string& path) {
  std::size_t slash = path.find_last_of("\\/");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

}  // namespace

Application::Application(SystemServices& system, PostUpdateActions& post_update)
    : system_(system), post_update_(post_update) {}

Application::~Application() = default;

int Application::Run() {
  // The command line, without the program token.
  std::string command_line = system_.CommandLine();
  args_ = ParseStartupArguments(command_line.substr(platform::ParseProgramToken(command_line).rest),
                                TakeCachedArguments);
  fix_stub_ =
      platform::EqualsIgnoreCase(BaseNameWithoutExtension(system_.ModuleFileName()), "VLFIX");

  // The fix copy waits for its parent; every other copy runs alone.
  if (args_.fix_mode) {
    system_.WaitForProcessEnd(args_.parent_process_id);
    add_nomotd_ = true;
    add_postfix_ = true;
    extra_arguments_ = false;
    launch_target_ = ProgramsFilePath("ZomaUp.exe");
  } else if (!system_.TakeMutex(kSingleInstanceMutex)) {
    return 0;
  }

  // The update library, beside the program (or, for the fix stub, in Programs).
  const std::string first_path = DirectoryOf(system_.ModuleFileName()) + "\\mrbupd.dll";
  library_ = LoadUpdateLibrary(system_, first_path);
  if (!library_ && fix_stub_) {
    std::optional<std::string> root = RootDirectory();
    if (root && !root->empty())
      library_ = LoadUpdateLibrary(system_, *root + "\\Programs\\mrbupd.dll");
  }
  if (!library_) {
    ui::MessageBox(nullptr, "Could not load update DLL: " + first_path, kUpdaterCaption,
                   ui::kMbOk | ui::kMbIconStop);
    return 1;
  }

  // The PATH and the launch target.
  if (!PrepareEnvironment()) {
    ShowUnexpectedFailure();
    return 0;
  }
  system_.DeleteFile(root_ + "\\properties.txt");

  // The root is read once: the log is written for every event of a session.
  log_ = std::make_unique<UpdateLog>(system_, [root = RootDirectory()] { return root; });

  // The fix stub only hands over to the Alternate copy.
  if (fix_stub_) {
    system_.FreeModule(library_->module);
    library_.reset();
    ChainAsFixStub();
    return 0;
  }

  BuildCommandLine();
  if (args_.post_fix_mode) RemoveAlternateCopies();

  ClientUpdaterOptions options;
  options.fix_mode = args_.fix_mode;
  options.launch_record_path = args_.launch_record_path;
  options.chain = [this](const std::string& target) { ChainThroughAlternate(target); };
  engine_ = std::make_unique<ClientUpdater>(system_, *log_, std::move(options));
  engine_->SetLibrary(&library_->calls);

  dialog_ = std::make_unique<ProgressDialog>(system_, *engine_);
  engine_->SetDisplay(dialog_.get());
  dialog_->Create();
  if (std::optional<LaunchRecordFields> record = engine_->ReadLaunchRecord())
    region_text_ = record->region_text;

  RunPasses();

  // The library stays mapped: an update thread that the user left running (Enter)
  // may still be inside it, and the end of the process releases it anyway.
  engine_->CloseRegistryHandles();
  return 0;
}

bool Application::PrepareEnvironment() {
  namespace reg = platform::reg;
  reg::ScopedKey main_key;
  if (reg::OpenKey(reg::kLocalMachine, clientcfg::kMainKey, reg::kKeyRead, main_key.out()) !=
      platform::kErrorSuccess)
    return false;
  root_ = RootDirectory().value_or("");
  clientcfg::OwnedText path =
      clientcfg::PathListAppend(std::nullopt, (root_ + "\\Programs").c_str());
  path = clientcfg::PathListAppend(path, (root_ + "\\System").c_str());
  clientcfg::PathListAppendRegistry(reg::kLocalMachine, clientcfg::kSearchPathsKey, path);
  if (std::optional<std::string> inherited = system_.GetEnvironment("PATH"))
    path = clientcfg::PathListAppend(path, inherited->c_str());
  if (path) system_.SetEnvironment("PATH", *path);
  launch_target_ = SystemFilePath("ZOMA.EXE");
  return !launch_target_.empty();
}

void Application::BuildCommandLine() {
  LaunchTargetOptions options;
  options.add_postfix = add_postfix_;
  options.add_nomotd = add_nomotd_;
  if (extra_arguments_) options.extra_arguments = MainSetting("ExtraGizmoArguments");
  command_line_ = BuildLaunchTargetCommandLine(launch_target_, args_.cached_arguments, options);
}

void Application::RemoveAlternateCopies() {
  system_.DeleteFile(AlternateDirectory() + "\\ZomaUp.exe");
  system_.DeleteFile(AlternateDirectory() + "\\mrbupd.dll");
  system_.DeleteFile(AlternateDirectory() + "\\" + kTrustedKeysFile);
  system_.DeleteFile(root_ + "\\ZOMAUP.EXE");
  system_.DeleteFile(root_ + "\\MRBUPD.DLL");
  system_.RemoveDirectory(AlternateDirectory());
}

void Application::RunPasses() {
  bool restart_mark = false;
  while (true) {
    engine_->StartStandardSession();
    while (engine_->Busy()) {
      ui::PumpMessages();
      system_.Sleep(50);
    }
    if (!engine_->Succeeded()) {
      if (!engine_->Stopped()) ShowUnexpectedFailure();
      return;
    }
    ClearNeeds();
    if (restart_mark) {
      engine_->CloseRegistryHandles();
      post_update_.RestartWindows(*dialog_);
      return;
    }
    const char* updating_registry = LoadResourceString(kStrUpdatingRegistry);
    log_->Write(updating_registry);
    dialog_->Status(updating_registry);
    std::optional<LaunchRecordFields> record = engine_->ReadLaunchRecord();
    post_update_.RunPostUpdateScript(root_, record ? record->affiliation : "");
    if (NeedsPending() && !restart_mark && !args_.fix_mode) {
      engine_->AnnounceRestart();
      restart_mark = true;
      continue;
    }
    break;
  }
  system_.RemoveDirectory(AlternateDirectory());
  ClearNeeds();
  if (args_.fix_mode) {
    extra_arguments_ = false;
    launch_target_ = ProgramsFilePath("ZomaUp.exe");
    BuildCommandLine();
  }
  if (!post_update_.StartLaunchTarget(command_line_, args_.just_checking)) ShowUnexpectedFailure();
}

void Application::StartAlternate() {
  extra_arguments_ = false;
  const std::string alternate_command_line = BuildAlternateCommandLine(
      AlternateDirectory() + "\\ZomaUp.exe", system_.CurrentProcessId(), args_.cached_arguments);
  SetLaunchCode(system_);
  if (!system_.StartProcess(alternate_command_line)) {
    ui::MessageBox(nullptr, "Couldn't chain to the alternate launcher!", kUpdaterCaption,
                   ui::kMbOk | ui::kMbIconStop);
    return;
  }
  system_.ExitProcess(0);
}

void Application::ChainThroughAlternate(const std::string& target_directory) {
  // The session has staged what changed; the copies fill in what it did not. The
  // library is not released here: this runs inside one of its calls, and the process
  // ends as soon as the copy starts.
  system_.CopyFile(target_directory + "\\Programs\\ZomaUp.EXE",
                   AlternateDirectory() + "\\ZomaUp.exe", true);
  system_.CopyFile(target_directory + "\\Programs\\MRBUPD.DLL",
                   AlternateDirectory() + "\\mrbupd.dll", true);
  CopyTrustedKeys(target_directory + "\\Programs");
  StartAlternate();
}

// The update library adds the keys in the file beside it to its built-in ones; a copy of
// the library without them would refuse the installation's channels, so they travel
// with it.
void Application::CopyTrustedKeys(const std::string& programs_directory) {
  system_.CopyFile(programs_directory + "\\" + kTrustedKeysFile,
                   AlternateDirectory() + "\\" + kTrustedKeysFile, false);
}

void Application::ChainAsFixStub() {
  system_.CreateDirectoryTree(AlternateDirectory());
  system_.CopyFile(root_ + "\\System\\VLFIX.EXE", AlternateDirectory() + "\\ZomaUp.exe", false);
  system_.CopyFile(root_ + "\\System\\MRBUPD.DLL", AlternateDirectory() + "\\mrbupd.dll", false);
  system_.CopyFile(root_ + "\\Programs\\MRBUPD.DLL", AlternateDirectory() + "\\mrbupd.dll", true);
  CopyTrustedKeys(root_ + "\\Programs");
  StartAlternate();
}

void Application::ShowUnexpectedFailure() {
  ui::MessageBox(nullptr, LoadResourceString(kStrUnexpectedFailure), kUpdaterCaption,
                 ui::kMbOk | ui::kMbIconStop);
}

}  // namespace zoma
