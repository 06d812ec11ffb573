// The updater's system services on this machine. Interim: until the platform layer's
// path, file, process, module and mutex services are in, this file maps Windows paths
// onto the prefix's drive map itself (case-insensitive lookup of each component) and
// calls POSIX directly. Switching to the platform layer replaces only this file.
//
// Test hook: ZOMA_TEST_FREE_DISK_SPACE=<bytes> makes FreeDiskSpace() report that many
// bytes (and "fail" makes the query fail), so that the disk-space question can be
// driven end to end.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/command_line.h"
#include "platform/prefix.h"
#include "updater/system_services.h"

extern char** environ;

namespace zoma {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> process_arguments;

std::vector<std::string> SplitPath(const std::string& text) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : text) {
    if (c == '\\' || c == '/') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

// Finds `name` in `directory` without regard to case; the name as given when absent.
std::string MatchComponent(const std::string& directory, const std::string& name) {
  struct stat st;
  std::string exact = directory + "/" + name;
  if (name == "." || name == ".." || lstat(exact.c_str(), &st) == 0) return name;
  if (DIR* dir = opendir(directory.c_str())) {
    std::string found = name;
    while (dirent* entry = readdir(dir)) {
      if (strcasecmp(entry->d_name, name.c_str()) == 0) {
        found = entry->d_name;
        break;
      }
    }
    closedir(dir);
    return found;
  }
  return name;
}

// Windows path to host path.
std::string HostPath(const std::string& windows_path) {
  std::string base;
  std::string rest = windows_path;
  if (rest.size() >= 2 && rest[1] == ':' && std::isalpha(static_cast<unsigned char>(rest[0]))) {
    base =
        platform::PrefixPath(std::string("drives/") +
                             static_cast<char>(std::tolower(static_cast<unsigned char>(rest[0]))));
    rest = rest.substr(2);
  } else if (!rest.empty() && (rest[0] == '\\' || rest[0] == '/')) {
    base = platform::PrefixPath("drives/c");
  } else {
    base = ".";
  }
  std::string host = base;
  for (const std::string& part : SplitPath(rest)) host += "/" + MatchComponent(host, part);
  return host;
}

// Host path to Windows path: below the C: drive as C:, anything else as Z:.
std::string WindowsPath(const std::string& host_path) {
  std::error_code error;
  fs::path path = fs::weakly_canonical(fs::absolute(host_path, error), error);
  fs::path drive_c = fs::weakly_canonical(platform::PrefixPath("drive_c"), error);
  std::string text = path.string();
  std::string root = drive_c.string();
  std::string windows;
  if (!root.empty() && text.compare(0, root.size(), root) == 0 &&
      (text.size() == root.size() || text[root.size()] == '/')) {
    windows = "C:" + text.substr(root.size());
    if (windows.size() == 2) windows += "\\";
  } else {
    windows = "Z:" + text;
  }
  for (char& c : windows)
    if (c == '/') c = '\\';
  return windows;
}

std::string PathListToHost(const std::string& list) {
  std::string host;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(';', start);
    if (end == std::string::npos) end = list.size();
    std::string item = list.substr(start, end - start);
    if (!item.empty()) {
      if (!host.empty()) host += ":";
      host += HostPath(item);
    }
    start = end + 1;
  }
  return host;
}

std::string PathListToWindows(const std::string& list) {
  std::string windows;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    std::string item = list.substr(start, end - start);
    if (!item.empty()) {
      if (!windows.empty()) windows += ";";
      windows += WindowsPath(item);
    }
    start = end + 1;
  }
  return windows;
}

class PosixSystemServices : public SystemServices {
 public:
  bool IsRegularFile(const std::string& path) override {
    struct stat st;
    return stat(HostPath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
  }
  bool Exists(const std::string& path) override {
    struct stat st;
    return stat(HostPath(path).c_str(), &st) == 0;
  }
  bool CopyFile(const std::string& from, const std::string& to, bool fail_if_exists) override {
    std::error_code error;
    std::string target = HostPath(to);
    if (fail_if_exists && fs::exists(target, error)) return false;
    // Written beside the target and renamed over it, so a reader never sees half a file.
    std::string temporary = target + ".copying";
    if (!fs::copy_file(HostPath(from), temporary, fs::copy_options::overwrite_existing, error))
      return false;
    if (rename(temporary.c_str(), target.c_str()) != 0) {
      unlink(temporary.c_str());
      return false;
    }
    return true;
  }
  bool DeleteFile(const std::string& path) override { return unlink(HostPath(path).c_str()) == 0; }
  bool RemoveDirectory(const std::string& path) override {
    return rmdir(HostPath(path).c_str()) == 0;
  }
  bool CreateDirectoryTree(const std::string& path) override {
    std::string host = HostPath(path);
    std::error_code error;
    fs::create_directories(host, error);
    return fs::is_directory(host, error);
  }
  bool RemoveDirectoryTree(const std::string& path) override {
    std::error_code error;
    return fs::remove_all(HostPath(path), error) != static_cast<std::uintmax_t>(-1) && !error;
  }
  void SetHidden(const std::string&) override {
    // Hidden is an extended attribute the platform layer will keep; nothing to do here.
  }
  void MakeWritable(const std::string& path) override {
    std::string host = HostPath(path);
    struct stat st;
    if (stat(host.c_str(), &st) == 0) chmod(host.c_str(), st.st_mode | S_IWUSR);
  }
  std::optional<std::string> ReadFileHead(const std::string& path, std::size_t max_bytes) override {
    std::ifstream in(HostPath(path), std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes(max_bytes, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(max_bytes));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
  }
  bool AppendToFile(const std::string& path, const std::string& text) override {
    int fd = open(HostPath(path).c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0) return false;
    bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    return ok;
  }
  std::optional<std::uint32_t> FreeDiskSpace() override {
    if (const char* fake = std::getenv("ZOMA_TEST_FREE_DISK_SPACE")) {
      if (std::string(fake) == "fail") return std::nullopt;
      return static_cast<std::uint32_t>(std::strtoul(fake, nullptr, 10));
    }
    struct statvfs info;
    if (statvfs(".", &info) != 0) return std::nullopt;
    // 4096-byte clusters, capped below 2 GiB as Windows 95 reports them.
    constexpr std::uint64_t kCap = 0x80000000ull - 4096;
    std::uint64_t bytes = static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
    return static_cast<std::uint32_t>(std::min(bytes, kCap) / 4096 * 4096);
  }
  std::string WindowsDirectory() override { return "C:\\WINDOWS"; }
  std::string SystemDirectory() override { return "C:\\WINDOWS\\SYSTEM32"; }

  std::string CommandLine() override {
    // The exact string the parent wrote, when it still matches our arguments.
    if (const char* exact = std::getenv("ZOMA_CMDLINE")) {
      std::vector<std::string> split = platform::SplitCommandLine(exact);
      if (split.size() == process_arguments.size() &&
          std::equal(split.begin() + (split.empty() ? 0 : 1), split.end(),
                     process_arguments.begin() + (split.empty() ? 0 : 1)))
        return exact;
    }
    return platform::BuildCommandLine(process_arguments);
  }
  std::string ModuleFileName() override {
    std::error_code error;
    return WindowsPath(fs::read_symlink("/proc/self/exe", error).string());
  }
  std::uint32_t CurrentProcessId() override { return static_cast<std::uint32_t>(getpid()); }
  void WaitForProcessEnd(std::uint32_t process_id) override {
    if (process_id == 0 || kill(static_cast<pid_t>(process_id), 0) != 0) return;
    while (kill(static_cast<pid_t>(process_id), 0) == 0) {
      // A child of ours ends as a zombie; reap it so the loop sees it gone.
      if (waitpid(static_cast<pid_t>(process_id), nullptr, WNOHANG) > 0) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  bool StartProcess(const std::string& command_line) override {
    platform::ProgramToken token = platform::ParseProgramToken(command_line);
    std::string program = HostPath(token.program);
    struct stat st;
    if (stat(program.c_str(), &st) != 0 && stat((program + ".exe").c_str(), &st) == 0)
      program += ".exe";
    std::vector<std::string> argv = platform::SplitCommandLine(command_line);
    if (argv.empty()) return false;
    argv[0] = program;
    std::vector<char*> args;
    for (std::string& arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);
    setenv("ZOMA_CMDLINE", command_line.c_str(), 1);
    pid_t child = 0;
    int result = posix_spawn(&child, program.c_str(), nullptr, nullptr, args.data(), environ);
    unsetenv("ZOMA_CMDLINE");
    return result == 0;
  }
  void ExitProcess(int exit_code) override {
    std::fflush(nullptr);
    _exit(exit_code);
  }

  std::optional<std::string> GetEnvironment(const std::string& name) override {
    const char* value = std::getenv(name.c_str());
    if (!value) return std::nullopt;
    if (name == "PATH") return PathListToWindows(value);
    return std::string(value);
  }
  void SetEnvironment(const std::string& name, const std::string& value) override {
    std::string stored = name == "PATH" ? PathListToHost(value) : value;
    setenv(name.c_str(), stored.c_str(), 1);
  }

  void* LoadModule(const std::string& path) override {
    return dlopen(HostPath(path).c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  void* ModuleSymbol(void* module, const char* name) override { return dlsym(module, name); }
  void FreeModule(void* module) override {
    if (module) dlclose(module);
  }

  bool TakeMutex(const std::string& name) override {
    std::string file_name;
    for (char c : name) file_name.push_back(std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
    std::string path = platform::PrefixPath("locks/" + file_name);
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      close(fd);
      return false;
    }
    return true;  // The descriptor stays open until the process ends.
  }

  std::time_t Now() override { return std::time(nullptr); }
  void Sleep(int milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
};

}  // namespace

SystemServices& DefaultSystemServices() {
  static PosixSystemServices services;
  return services;
}

void SetProcessArguments(int argc, char** argv) { process_arguments.assign(argv, argv + argc); }

}  // namespace zoma
