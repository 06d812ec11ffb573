// The updater's system services on this machine, on the platform layer. Interim: until
// the platform layer's process, module and mutex services are in, those few calls use
// POSIX directly here (marked below).
//
// Test hook: ZOMA_TEST_FREE_DISK_SPACE=<bytes> makes FreeDiskSpace() report that many
// bytes (and "fail" makes the query fail), so that the disk-space question can be
// driven end to end.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/command_line.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/prefix.h"
#include "updater/system_services.h"

extern char** environ;

namespace zoma {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> process_arguments;

// Windows path to host path; missing directories are kept as spelt.
std::string HostPath(const std::string& windows_path) {
  return platform::MapToHostPath(windows_path);
}

class PosixSystemServices : public SystemServices {
 public:
  bool IsRegularFile(const std::string& path) override {
    std::uint32_t attributes = platform::GetFileAttributes(path);
    return attributes != platform::kInvalidFileAttributes &&
           !(attributes & platform::kFileAttributeDirectory);
  }
  bool Exists(const std::string& path) override {
    return platform::GetFileAttributes(path) != platform::kInvalidFileAttributes;
  }
  bool CopyFile(const std::string& from, const std::string& to, bool fail_if_exists) override {
    return platform::CopyFile(from, to, fail_if_exists);
  }
  bool DeleteFile(const std::string& path) override { return platform::DeleteFile(path); }
  bool RemoveDirectory(const std::string& path) override { return platform::RemoveDirectory(path); }
  bool CreateDirectoryTree(const std::string& path) override {
    // Each missing parent from the top down; a drive root that is not there ends it.
    std::string full = platform::GetFullPathName(path);
    if (full.empty()) return false;
    for (std::size_t at = full.find('\\', 3);; at = full.find('\\', at + 1)) {
      std::string part = full.substr(0, at);
      std::uint32_t attributes = platform::GetFileAttributes(part);
      if (attributes == platform::kInvalidFileAttributes) {
        if (!platform::CreateDirectory(part)) return false;
      } else if (!(attributes & platform::kFileAttributeDirectory)) {
        return false;
      }
      if (at == std::string::npos) return true;
    }
  }
  bool RemoveDirectoryTree(const std::string& path) override {
    std::string host = platform::ToHostPath(path);
    std::error_code error;
    return !host.empty() && fs::remove_all(host, error) != static_cast<std::uintmax_t>(-1) &&
           !error;
  }
  void SetHidden(const std::string& path) override {
    std::uint32_t attributes = platform::GetFileAttributes(path);
    if (attributes != platform::kInvalidFileAttributes)
      platform::SetFileAttributes(path, attributes | platform::kFileAttributeHidden);
  }
  void MakeWritable(const std::string& path) override {
    std::uint32_t attributes = platform::GetFileAttributes(path);
    if (attributes != platform::kInvalidFileAttributes)
      platform::SetFileAttributes(path, attributes & ~platform::kFileAttributeReadonly);
  }
  std::optional<std::string> ReadFileHead(const std::string& path, std::size_t max_bytes) override {
    std::FILE* file = platform::OpenStdioFile(path, "rb");
    if (!file) return std::nullopt;
    std::string bytes(max_bytes, '\0');
    bytes.resize(std::fread(bytes.data(), 1, max_bytes, file));
    std::fclose(file);
    return bytes;
  }
  bool AppendToFile(const std::string& path, const std::string& text) override {
    std::FILE* file = platform::OpenStdioFile(path, "ab");
    if (!file) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && ok;
  }
  std::optional<std::uint32_t> FreeDiskSpace() override {
    if (const char* fake = std::getenv("ZOMA_TEST_FREE_DISK_SPACE")) {
      if (std::string(fake) == "fail") return std::nullopt;
      return static_cast<std::uint32_t>(std::strtoul(fake, nullptr, 10));
    }
    std::uint32_t sectors = 0, bytes = 0, free_clusters = 0, total = 0;
    if (!platform::GetDiskFreeSpace(nullptr, &sectors, &bytes, &free_clusters, &total))
      return std::nullopt;
    return sectors * bytes * free_clusters;
  }
  std::string WindowsDirectory() override { return "C:\\WINDOWS"; }
  std::string SystemDirectory() override { return "C:\\WINDOWS\\SYSTEM32"; }

  // Interim: processes, modules and the mutex on POSIX until the platform layer has them.
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
    return platform::ToWindowsPath(fs::read_symlink("/proc/self/exe", error).string());
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
    std::string value;
    if (!platform::GetEnvironmentVariable(name, &value)) return std::nullopt;
    return value;
  }
  void SetEnvironment(const std::string& name, const std::string& value) override {
    platform::SetEnvironmentVariable(name, value.c_str());
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
