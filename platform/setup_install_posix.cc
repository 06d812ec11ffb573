// The setup API's single-file install.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/delayed_move.h"
#include "platform/host_copy.h"
#include "platform/paths.h"
#include "platform/setup_install.h"
#include "platform/win_error.h"

namespace platform {
namespace {

bool Fail(Status status) {
  SetLastError(status);
  return false;
}

bool Skip() { return Fail(kErrorSuccess); }

int CompareTimes(const timespec& a, const timespec& b) {
  if (a.tv_sec != b.tv_sec) return a.tv_sec < b.tv_sec ? -1 : 1;
  if (a.tv_nsec != b.tv_nsec) return a.tv_nsec < b.tv_nsec ? -1 : 1;
  return 0;
}

}  // namespace

bool SetupInstallFileEx(const std::string& source, const std::string& target,
                        std::uint32_t copy_style, bool* file_was_in_use) {
  if (file_was_in_use) *file_was_in_use = false;
  std::string source_host = ToHostPath(source);
  std::string target_host = ToHostPath(target);
  struct stat source_stat, target_stat;
  if (source_host.empty() || stat(source_host.c_str(), &source_stat) != 0 ||
      !S_ISREG(source_stat.st_mode))
    return Fail(kErrorFileNotFound);
  if (target_host.empty()) return Fail(kErrorPathNotFound);
  bool target_exists = stat(target_host.c_str(), &target_stat) == 0;

  if (target_exists && (copy_style & (kSpCopyNoOverwrite | kSpCopyForceNoOverwrite))) return Skip();
  if (!target_exists && (copy_style & kSpCopyReplaceOnly)) return Skip();
  if (target_exists) {
    // Stands in for the version comparison until files carry version resources.
    int order = CompareTimes(source_stat.st_mtim, target_stat.st_mtim);
    if ((copy_style & kSpCopyNewerOrSame) && order < 0) return Skip();
    if ((copy_style & kSpCopyNewerOnly) && order <= 0) return Skip();
  }

  std::string temp = CopyBeside(source_host, target_host);
  if (temp.empty()) return false;
  if (rename(temp.c_str(), target_host.c_str()) != 0) {
    int error = errno;
    bool busy = error == EBUSY || error == ETXTBSY;
    if (!busy || !(copy_style & (kSpCopyInUseNeedsReboot | kSpCopyForceInUse))) {
      unlink(temp.c_str());
      return Fail(StatusFromErrno(error));
    }
    // Replaced at the next restart: the copy waits beside the target.
    if (!MoveFileEx(ToWindowsPath(temp), target.c_str(),
                    kMoveFileDelayUntilReboot | kMoveFileReplaceExisting)) {
      unlink(temp.c_str());
      return false;
    }
    if (file_was_in_use) *file_was_in_use = true;
  }
  if (copy_style & kSpCopyDeleteSource) unlink(source_host.c_str());
  SetLastError(kErrorSuccess);
  return true;
}

}  // namespace platform
