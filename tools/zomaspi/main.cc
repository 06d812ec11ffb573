// zomaspi: launch files (.spi) from the command line, read as the client reads them,
// with the installation's "default.spi" and "extra.spi" behind every lookup.
//
//   zomaspi show FILE               the file as text, then the installation-wide files
//   zomaspi get FILE SECTION KEY    one value, with the fallbacks
//   zomaspi convert FILE [OUT]      the file's own entries as text (a launch record
//                                   becomes its text form), optionally wrapped
//   zomaspi check FILE              the load status and what it means
//
// FILE is a Windows path (C:\ZOMA\game.spi) or a host path (/tmp/game.spi). The exit
// status is the library's status code (0 success, 100 expired, 105 key not found, ...),
// 64 for a usage error.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <fstream>
#include <string>

#include "clientcfg/launch_file.h"
#include "clientcfg/settings_store.h"
#include "clientcfg/wrapped_data.h"
#include "platform/paths.h"

namespace {

constexpr int kExitUsage = 64;
constexpr int kExitWriteFailed = 74;

std::string WindowsPathOf(const std::string& path) {
  if (path.empty() || path[0] != '/') return path;
  std::string windows = platform::ToWindowsPath(path);
  return windows.empty() ? path : windows;
}

std::string HostPathOf(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  std::string host = platform::MapToHostPath(path);
  return host.empty() ? path : host;
}

// A launch file loaded for one command; released at the end.
class LoadedFile {
 public:
  LoadedFile(const std::string& path, unsigned flags)
      : path_(WindowsPathOf(path)), file_(clientcfg::NewLaunchFile()) {
    status_ =
        file_ ? clientcfg::LoadLaunchFile(file_, path_.c_str(), flags) : clientcfg::kLaunchNoMemory;
  }
  ~LoadedFile() { clientcfg::FreeLaunchFile(file_); }
  LoadedFile(const LoadedFile&) = delete;
  LoadedFile& operator=(const LoadedFile&) = delete;

  clientcfg::LaunchFile* get() const { return file_; }
  int status() const { return status_; }
  const std::string& path() const { return path_; }

  // Says why the load failed; returns the status as the exit code.
  int Refuse() const {
    std::fprintf(stderr, "zomaspi: %s: %d: %s\n", path_.c_str(), status_,
                 clientcfg::LaunchStatusText(status_));
    return status_;
  }

 private:
  std::string path_;
  clientcfg::LaunchFile* file_;
  int status_;
};

void ShowInstallationFile(const char* name, clientcfg::LaunchFile& file) {
  if (file.loaded()) {
    std::printf("\n; installation-wide: %s\n%s", file.name().c_str(),
                clientcfg::FormatLaunchText(file).c_str());
  } else {
    std::printf("\n; installation-wide: %s not loaded (%d: %s)\n", name, file.status(),
                clientcfg::LaunchStatusText(file.status()));
  }
}

// The installation-wide files, or why there are none.
void ShowInstallationFiles() {
  if (!clientcfg::GetSettingString(clientcfg::kMainKey, "Root Directory")) {
    std::printf("\n; no installation-wide files: HKLM\\%s has no Root Directory\n",
                clientcfg::kMainKey);
    return;
  }
  ShowInstallationFile("extra.spi", clientcfg::ExtraLaunchFile());
  ShowInstallationFile("default.spi", clientcfg::DefaultLaunchFile());
}

int Show(const std::string& path, unsigned flags) {
  LoadedFile file(path, flags);
  if (file.status() != clientcfg::kLaunchOk) return file.Refuse();
  std::printf("; %s\n%s", file.path().c_str(), clientcfg::FormatLaunchText(*file.get()).c_str());
  if (file.get()->flags() & clientcfg::kLaunchNoFallback) {
    std::printf("\n; no installation-wide fallback (flags %u)\n", file.get()->flags());
    return 0;
  }
  ShowInstallationFiles();
  return 0;
}

int Get(const std::string& path, const std::string& section, const std::string& key, unsigned flags,
        const std::string* map_section, bool as_number) {
  LoadedFile file(path, flags);
  if (file.status() != clientcfg::kLaunchOk) return file.Refuse();
  const char* map = map_section ? map_section->c_str() : nullptr;
  const char* value =
      map_section
          ? clientcfg::GetLaunchIndirect(file.get(), section.c_str(), key.c_str(), map, nullptr)
          : clientcfg::GetLaunchValue(file.get(), section.c_str(), key.c_str(), nullptr);
  if (!value) {
    std::fprintf(stderr, "zomaspi: [%s] %s: %d: %s\n", section.c_str(), key.c_str(),
                 clientcfg::kLaunchNotFound,
                 clientcfg::LaunchStatusText(clientcfg::kLaunchNotFound));
    return clientcfg::kLaunchNotFound;
  }
  if (as_number)
    std::printf("%d\n", clientcfg::ParseLaunchNumber(value, 0));
  else
    std::printf("%s\n", value);
  return 0;
}

int Convert(const std::string& path, const std::string& out_path, unsigned flags, bool wrap) {
  LoadedFile file(path, flags);
  if (file.status() != clientcfg::kLaunchOk) return file.Refuse();
  std::vector<std::string> unfaithful;
  std::string text = clientcfg::FormatLaunchText(*file.get(), &unfaithful);
  for (const std::string& name : unfaithful)
    std::fprintf(stderr,
                 "zomaspi: warning: %s holds a \";\", a line end or outer blanks and will not "
                 "read back as it is\n",
                 name.c_str());
  if (wrap) {
    std::optional<std::string> wrapped = clientcfg::WrapData(text, clientcfg::kLaunchFileMagic);
    if (!wrapped) {
      std::fprintf(stderr, "zomaspi: the text cannot be wrapped\n");
      return kExitWriteFailed;
    }
    text = *wrapped;
  }
  if (out_path.empty() || out_path == "-") {
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : kExitWriteFailed;
  }
  std::ofstream out(HostPathOf(out_path), std::ios::binary);
  out << text;
  if (!out.flush()) {
    std::fprintf(stderr, "zomaspi: cannot write %s\n", out_path.c_str());
    return kExitWriteFailed;
  }
  return 0;
}

int Check(const std::string& path, unsigned flags) {
  LoadedFile file(path, flags);
  std::printf("%s: %d: %s\n", file.path().c_str(), file.status(),
              clientcfg::LaunchStatusText(file.status()));
  return file.status();
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Reads and checks Zoma launch files (.spi), with the installation-wide "
      "default.spi and extra.spi behind every lookup.\nThe exit status is the "
      "launch file status (0 success, 100 expired, 105 not found, ...); 64 is a "
      "usage error."};
  app.require_subcommand(1);
  std::string path, section, key, out_path, map_section;
  unsigned flags = 0;
  bool as_number = false, wrap = false;
  auto add_flags = [&](CLI::App* command) {
    command->add_option("--flags", flags,
                        "Load flags: 1 no fallback, 4 no network check, 8 no expiry check");
  };

  CLI::App* show = app.add_subcommand("show", "Show the file as text, then its fallbacks");
  show->add_option("FILE", path, "Launch file")->required();
  add_flags(show);

  CLI::App* get = app.add_subcommand("get", "Print one value, looked up with the fallbacks");
  get->add_option("FILE", path, "Launch file")->required();
  get->add_option("SECTION", section, "Section")->required();
  get->add_option("KEY", key, "Key")->required();
  get->add_option("--map", map_section,
                  "Look the value up again as a key of this section (an indirect lookup)");
  get->add_flag("--int", as_number, "Print the value read as a number");
  add_flags(get);

  CLI::App* convert =
      app.add_subcommand("convert", "Write the file's own entries in the text form");
  convert->add_option("FILE", path, "Launch file or launch record")->required();
  convert->add_option("OUT", out_path, "Output file (standard output when absent or -)");
  convert->add_flag("--wrap", wrap, "Wrap the text in a VLI2 container");
  add_flags(convert);

  CLI::App* check = app.add_subcommand("check", "Load the file and report its status");
  check->add_option("FILE", path, "Launch file")->required();
  add_flags(check);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // CLI11's own exit codes would read as launch file statuses.
    return app.exit(error) == 0 ? 0 : kExitUsage;
  }

  if (*show) return Show(path, flags);
  if (*get)
    return Get(path, section, key, flags, get->count("--map") ? &map_section : nullptr, as_number);
  if (*convert) return Convert(path, out_path, flags, wrap);
  return Check(path, flags);
}
