// Installing a planned update as one journalled transaction: stage every new file,
// write the journal, rename file by file with the updater's consent, then commit the
// new state. Any refusal or failure undoes what was done.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <set>

#include "updatelib/channel/file_io.h"
#include "updatelib/channel/system_calls.h"
#include "updatelib/journal.h"
#include "updatelib/session.h"

namespace castanet {
namespace {

// The target as its links resolve, with a slash at the end; empty when it cannot be
// resolved.
std::string ResolvedRoot(const std::string& target) {
  char* resolved_target = realpath(target.c_str(), nullptr);
  if (!resolved_target) return "";
  std::string root = std::string(resolved_target) + "/";
  free(resolved_target);
  return root;
}

// True when every directory on the way to a channel path stays inside the target (root,
// from ResolvedRoot) once symbolic links are followed: a link inside the installation
// may point elsewhere in it, never out of it.
bool StaysInsideTarget(const std::string& target, const std::string& root,
                       const std::string& relative) {
  if (root.empty()) return false;
  for (size_t slash = relative.find('/'); slash != std::string::npos;
       slash = relative.find('/', slash + 1)) {
    std::string directory = target + "/" + relative.substr(0, slash);
    struct stat info;
    if (lstat(directory.c_str(), &info) != 0) return true;  // made by the install itself
    if (!S_ISLNK(info.st_mode)) continue;
    char* resolved = realpath(directory.c_str(), nullptr);
    if (!resolved) return false;
    bool inside = (std::string(resolved) + "/").rfind(root, 0) == 0;
    free(resolved);
    if (!inside) return false;
  }
  return true;
}

}  // namespace

int Session::Install(const Plan& plan) {
  InstallJournal journal_file(state_);
  Journal journal;
  journal.manifest_sha256 = manifest_sha256_;
  staged_files_.clear();
  // Checked before anything changes, so that a refused path leaves the target whole.
  // The target is resolved once: resolving it for every file was a stat storm.
  std::string root = ResolvedRoot(state_.target());
  for (const PlannedInstall& install : plan.installs) {
    if (!StaysInsideTarget(state_.target(), root, install.file.path)) {
      Fail(CASTANET_ERROR_INSTALL_FAILED, install.file.path + ": leads out of the target");
      return MRB_UPDATE_FAILED;
    }
  }
  for (const std::string& path : plan.deletes) {
    if (!StaysInsideTarget(state_.target(), root, path)) {
      Fail(CASTANET_ERROR_INSTALL_FAILED, path + ": leads out of the target");
      return MRB_UPDATE_FAILED;
    }
  }

  // Directories first, parents before children.
  std::set<std::string> directories;
  for (const PlannedInstall& install : plan.installs) {
    const std::string& path = install.file.path;
    for (size_t slash = path.find('/'); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
      std::string directory = path.substr(0, slash);
      struct stat info;
      if (directories.insert(PathKey(directory)).second &&
          lstat(state_.TargetPath(directory).c_str(), &info) != 0) {
        journal.ops.push_back({JournalOpKind::kMkdir, 0, "", directory});
      }
    }
  }
  int number = 0;
  std::set<std::string> linked_contents;
  for (const PlannedInstall& install : plan.installs) {
    JournalOp op{install.replace ? JournalOpKind::kReplace : JournalOpKind::kCreate, ++number,
                 install.file.sha256, install.file.path};
    std::string staged = journal_file.NewPath(op.number);
    std::string held = state_.HoldingPath(install.file.sha256);
    std::string error;
    Sys().unlink(staged.c_str());
    // The first file with these contents takes the held copy itself (a link costs no
    // space); further ones get copies, so no two installed files share their data.
    bool staged_ok = linked_contents.insert(install.file.sha256).second
                         ? (Sys().link(held.c_str(), staged.c_str()) == 0 ||
                            CopyFileContents(held, staged, &error))
                         : CopyFileContents(held, staged, &error);
    if (!staged_ok) {
      // Never CASTANET_ERROR_CANT_READ here: the updater deletes the file that event names.
      Fail(IsDiskFullErrno(errno) ? CASTANET_ERROR_DISK_FULL : CASTANET_ERROR_BAD_STATE,
           install.file.path);
      return MRB_UPDATE_FAILED;
    }
    chmod(staged.c_str(), (install.file.flags & kFileExecutable) ? 0755 : 0644);
    journal.ops.push_back(std::move(op));
  }
  for (const std::string& path : plan.deletes) {
    journal.ops.push_back({JournalOpKind::kDelete, ++number, "", path});
  }
  // The staged files must be on disk before the journal lets renames expose them.
  SyncFileSystem(state_.directory());
  std::string error;
  if (!journal_file.Write(journal, &error)) {
    Fail(IsDiskFullErrno(errno) ? CASTANET_ERROR_DISK_FULL : CASTANET_ERROR_BAD_STATE, error);
    return MRB_UPDATE_FAILED;
  }

  uint64_t transferred = plan.transfer_bytes;
  int savings =
      plan.install_bytes == 0 || transferred >= plan.install_bytes
          ? 0
          : static_cast<int>((plan.install_bytes - transferred) * 100 / plan.install_bytes);
  Emit(CASTANET_UPDATE_INSTALLING, std::to_string(savings) + "%");

  auto undo = [&](int code, const std::string& path) {
    Emit(code, path);
    std::string undo_error;
    journal_file.RollBack(
        journal, [this](int event, const std::string& undone) { Emit(event, undone); },
        &undo_error);
    staged_files_.clear();
    return MRB_UPDATE_FAILED;
  };
  for (const JournalOp& op : journal.ops) {
    switch (op.kind) {
      case JournalOpKind::kMkdir:
        if (!journal_file.Apply(op, &error)) return undo(CASTANET_ERROR_INSTALL_FAILED, op.path);
        Emit(CASTANET_UPDATE_MKDIR, op.path);
        break;
      case JournalOpKind::kCreate:
      case JournalOpKind::kReplace:
        staged_files_[PathKey(op.path)] = journal_file.NewPath(op.number);
        if (Emit(CASTANET_UPDATE_INSTALL, op.path) != 0) {
          return undo(CASTANET_ERROR_INSTALL_FAILED, op.path);
        }
        if (!journal_file.Apply(op, &error)) {
          Emit(CASTANET_ERROR_RENAME_FAILED, op.path);
          return undo(CASTANET_ERROR_INSTALL_FAILED, op.path);
        }
        Emit(op.kind == JournalOpKind::kCreate ? CASTANET_UPDATE_CREATE : CASTANET_UPDATE_UPDATE,
             op.path);
        break;
      case JournalOpKind::kDelete:
        if (!journal_file.Apply(op, &error)) {
          Emit(CASTANET_ERROR_DELETE_FAILED, op.path);
          return undo(CASTANET_ERROR_INSTALL_FAILED, op.path);
        }
        Emit(CASTANET_UPDATE_DELETE, op.path);
        break;
    }
  }

  // Commit: the state names the new manifest and the installed files as they are now.
  InstalledState next = plan.next_state;
  for (const PlannedInstall& install : plan.installs) {
    struct stat info;
    InstalledFile file;
    file.sha256 = install.file.sha256;
    file.size = install.file.size;
    if (lstat(state_.TargetPath(install.file.path).c_str(), &info) == 0) {
      file.mtime_ns = StatMtimeNs(info);
    }
    next.files[PathKey(install.file.path)] = {install.file.path, file};
  }
  SyncDirectory(state_.target());
  if (!state_.Save(next, &error)) return undo(CASTANET_ERROR_INSTALL_FAILED, error);
  journal_file.Finish(journal);
  staged_files_.clear();
  Emit(CASTANET_UDPATE_DONE, channel_);
  return 0;
}

}  // namespace castanet
