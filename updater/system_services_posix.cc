// The updater's system services on this machine, on the platform layer.
//
// Test hook: ZOMA_TEST_FREE_DISK_SPACE=<bytes> makes FreeDiskSpace() report that many
// bytes (and "fail" makes the query fail), so that the disk-space question can be
// driven end to end.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "clientcfg/start_process.h"
#include "platform/ascii.h"
#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/module.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/sync.h"
#include "updater/system_services.h"

namespace zoma {
namespace {

namespace fs = std::filesystem;

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
    if (!platform::CopyFile(from, to, fail_if_exists)) return false;
    // A program copied here must stay runnable: Windows runs any ".exe", POSIX only a
    // file with its execute bits (a downloaded update has none).
    if (platform::EndsWithIgnoreCase(to, ".exe")) {
      std::string host = platform::ToHostPath(to);
      struct stat st;
      if (!host.empty() && stat(host.c_str(), &st) == 0)
        chmod(host.c_str(), st.st_mode | ((st.st_mode & 0444) >> 2));
    }
    return true;
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

  std::string CommandLine() override { return platform::GetCommandLine(); }
  std::string ModuleFileName() override { return platform::GetModuleFileName(nullptr); }
  std::uint32_t CurrentProcessId() override { return platform::GetCurrentProcessId(); }
  void WaitForProcessEnd(std::uint32_t process_id) override {
    platform::Handle process =
        platform::OpenProcess(platform::kProcessAllAccess, false, process_id);
    if (!process.valid()) return;
    platform::WaitForSingleObject(process, platform::kInfinite);
    platform::CloseHandle(process);
  }
  bool StartProcess(const std::string& command_line) override {
    return clientcfg::StartProcess(command_line, 0);
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

  void* LoadModule(const std::string& path) override { return platform::LoadLibrary(path); }
  void* ModuleSymbol(void* module, const char* name) override {
    return platform::GetProcAddress(module, name);
  }
  void FreeModule(void* module) override {
    if (module) platform::FreeLibrary(module);
  }

  bool TakeMutex(const std::string& name) override {
    // The handle is kept open to the end of the process, which releases the mutex.
    static platform::MutexHandle held;
    platform::MutexHandle mutex = platform::CreateMutex(name);
    if (!mutex.valid() || platform::WaitForMutex(mutex, 0) != platform::kWaitObject0) return false;
    held = mutex;
    return true;
  }

  std::time_t Now() override { return std::time(nullptr); }
  void Sleep(int milliseconds) override {
    platform::Sleep(static_cast<std::uint32_t>(milliseconds));
  }
};

}  // namespace

SystemServices& DefaultSystemServices() {
  static PosixSystemServices services;
  return services;
}

}  // namespace zoma
