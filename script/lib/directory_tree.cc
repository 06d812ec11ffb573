// The tree routine behind RemoveDirectory, CopyDirectoryTree and MoveDirectoryTree.
#include "script/lib/directory_tree.h"

#include <vector>

#include "platform/directory_entries.h"
#include "platform/files.h"

namespace script {
namespace {

using platform::EntryKind;

class TreeOperation {
 public:
  TreeOperation(TreeMode mode, const std::string& target_root)
      : copies_(mode != TreeMode::kDelete),
        removes_(mode != TreeMode::kCopy),
        move_(mode == TreeMode::kMove),
        target_root_(target_root) {}

  // `may_remove`: false below a link or a mount point, where nothing is ours to remove.
  int Run(const std::string& source, const std::string& target, bool may_remove) {
    std::vector<platform::DirectoryEntry> entries;
    if (!platform::ListDirectoryEntries(ListingPath(source), &entries)) return 0;
    int count = 0;
    for (const platform::DirectoryEntry& entry : entries) {
      const std::string from = JoinPath(source, entry.name);
      const std::string to = copies_ ? JoinPath(target, entry.name) : std::string();
      bool copied = false;
      bool removed = false;
      switch (entry.kind) {
        case EntryKind::kLink:
          copied = copies_ && platform::CopySymbolicLink(from, to);
          removed = may_remove && Removes(copied) && platform::DeleteSymbolicLink(from);
          break;
        case EntryKind::kDirectory: {
          // A copy into a directory of its own source must not copy the copy again, and
          // a directory that already is its own target has nothing to copy or remove.
          if (copies_ &&
              (platform::IsSameFile(from, target_root_) || platform::IsSameFile(from, to)))
            continue;
          const bool inner_may_remove = may_remove && !entry.other_file_system;
          if (!copies_ && !inner_may_remove) continue;
          if (copies_) copied = MakeTargetDirectory(to);
          count += Run(from, to, inner_may_remove);
          removed = inner_may_remove && removes_ && platform::RemoveDirectory(from);
          break;
        }
        case EntryKind::kFile:
          copied = copies_ && CopyFile(from, to);
          removed = may_remove && Removes(copied) && DeleteFile(from);
          break;
        case EntryKind::kSpecial:
          // Pipes and devices have no contents to copy; a removal takes the name away.
          removed = may_remove && !copies_ && DeleteFile(from);
          break;
        case EntryKind::kNone:
          break;
      }
      count += move_ && copied && removed ? 1 : int(copied) + int(removed);
    }
    return count;
  }

 private:
  // Whether an item is to be removed: in move mode only once it was copied.
  bool Removes(bool copied) const { return removes_ && (!move_ || copied); }

  // A link where the copy goes is replaced, never written through.
  static void ReplaceLink(const std::string& to) {
    if (platform::GetEntryKind(to) == EntryKind::kLink) platform::DeleteSymbolicLink(to);
  }

  static bool MakeTargetDirectory(const std::string& to) {
    ReplaceLink(to);
    return platform::CreateDirectory(to);
  }

  static bool CopyFile(const std::string& from, const std::string& to) {
    ReplaceLink(to);
    return platform::CopyFile(from, to, false);
  }

  // A read-only file has its attributes put to normal so that it goes too. Only then:
  // the file may have other names outside the tree, which keep what they had.
  static bool DeleteFile(const std::string& path) {
    if (platform::DeleteFile(path)) return true;
    if (!platform::SetFileAttributes(path, platform::kFileAttributeNormal)) return false;
    return platform::DeleteFile(path);
  }

  const bool copies_;
  const bool removes_;
  const bool move_;
  const std::string target_root_;
};

}  // namespace

std::string JoinPath(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  const char last = directory.back();
  if (last == '\\' || last == '/') return directory + name;
  return directory + "\\" + name;
}

std::string ListingPath(const std::string& directory) {
  if (directory.size() == 2 && directory[1] == ':') return directory + "\\";
  return directory;
}

int RunTreeOperation(TreeMode mode, const std::string& source, const std::string& target) {
  // An empty name would mean the current directory: never a tree to work on. A tree
  // copied or moved onto itself would only lose what it replaces.
  if (source.empty()) return 0;
  if (mode != TreeMode::kDelete && platform::IsSameFile(source, target)) return 0;
  TreeOperation operation(mode, target);
  // A source that is itself a link is read through (the script named it), but nothing
  // below it is removed.
  const bool may_remove = platform::GetEntryKind(source) != EntryKind::kLink;
  return operation.Run(source, target, may_remove);
}

}  // namespace script
