// The operating-system services the updater uses (files, processes, environment,
// module loading, the single-instance mutex, time), behind one interface. Every path is
// a Windows path. Tests substitute a fake; the program uses DefaultSystemServices().
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace zoma {

class SystemServices {
 public:
  virtual ~SystemServices() = default;

  // Files and directories.
  virtual bool IsRegularFile(const std::string& path) = 0;
  virtual bool Exists(const std::string& path) = 0;
  /// CopyFile: with `fail_if_exists` an existing destination is left alone (false).
  virtual bool CopyFile(const std::string& from, const std::string& to, bool fail_if_exists) = 0;
  virtual bool DeleteFile(const std::string& path) = 0;
  /// Removes an empty directory.
  virtual bool RemoveDirectory(const std::string& path) = 0;
  /// Creates the directory and every missing parent, from the top down.
  virtual bool CreateDirectoryTree(const std::string& path) = 0;
  /// Removes a directory with everything below it.
  virtual bool RemoveDirectoryTree(const std::string& path) = 0;
  virtual void SetHidden(const std::string& path) = 0;
  virtual void MakeWritable(const std::string& path) = 0;
  /// At most `max_bytes` from the start of the file; nullopt when it cannot be read.
  virtual std::optional<std::string> ReadFileHead(const std::string& path,
                                                  std::size_t max_bytes) = 0;
  /// Opens the file for appending, writes the text and closes it again.
  virtual bool AppendToFile(const std::string& path, const std::string& text) = 0;
  /// Free bytes on the drive of the current directory as a 32-bit product of clusters,
  /// as Windows 95 reports them; nullopt when the query fails.
  virtual std::optional<std::uint32_t> FreeDiskSpace() = 0;
  virtual std::string WindowsDirectory() = 0;
  virtual std::string SystemDirectory() = 0;

  // Processes.
  /// The command line this process was started with, program token included.
  virtual std::string CommandLine() = 0;
  /// The Windows path of the running program.
  virtual std::string ModuleFileName() = 0;
  virtual std::uint32_t CurrentProcessId() = 0;
  /// Waits without a time limit for the process to end, when it can be opened.
  virtual void WaitForProcessEnd(std::uint32_t process_id) = 0;
  /// Starts a command line without waiting; false when it cannot be started.
  virtual bool StartProcess(const std::string& command_line) = 0;
  /// Ends the process at once. A fake may return; callers return right after.
  virtual void ExitProcess(int exit_code) = 0;

  // Environment (PATH in its Windows form).
  virtual std::optional<std::string> GetEnvironment(const std::string& name) = 0;
  virtual void SetEnvironment(const std::string& name, const std::string& value) = 0;

  // Modules: null on failure.
  virtual void* LoadModule(const std::string& path) = 0;
  virtual void* ModuleSymbol(void* module, const char* name) = 0;
  virtual void FreeModule(void* module) = 0;

  /// Creates or opens the named mutex and takes it without waiting; held until the
  /// process ends. False when another process holds it.
  virtual bool TakeMutex(const std::string& name) = 0;

  virtual std::time_t Now() = 0;
  virtual void Sleep(int milliseconds) = 0;
};

/// The real services of this machine.
SystemServices& DefaultSystemServices();

}  // namespace zoma
