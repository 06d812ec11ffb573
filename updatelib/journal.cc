// Writing, applying, undoing and recovering install journals.
#include "updatelib/journal.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/short_names.h"
#include "updatelib/castanet.h"
#include "updatelib/channel/crypto.h"
#include "updatelib/channel/file_io.h"
#include "updatelib/channel/manifest.h"
#include "updatelib/channel/system_calls.h"
#include "updatelib/channel/text_fields.h"

namespace castanet {
namespace {

constexpr std::string_view kJournalMagic = "castanet-journal 1";

const char* KindName(JournalOpKind kind) {
  switch (kind) {
    case JournalOpKind::kMkdir:
      return "mkdir";
    case JournalOpKind::kCreate:
      return "create";
    case JournalOpKind::kReplace:
      return "replace";
    case JournalOpKind::kDelete:
      return "delete";
  }
  return "";
}

bool KindFromName(std::string_view name, JournalOpKind* kind) {
  for (JournalOpKind k : {JournalOpKind::kMkdir, JournalOpKind::kCreate, JournalOpKind::kReplace,
                          JournalOpKind::kDelete}) {
    if (name == KindName(k)) {
      *kind = k;
      return true;
    }
  }
  return false;
}

bool Exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

bool Rename(const std::string& from, const std::string& to, std::string* error) {
  if (Sys().rename(from.c_str(), to.c_str()) == 0) return true;
  *error = "rename " + from + " -> " + to + ": " + ErrnoText(errno);
  return false;
}

}  // namespace

bool InstallJournal::Write(const Journal& journal, std::string* error) {
  std::string text = std::string(kJournalMagic) + "\nmanifest " + journal.manifest_sha256 + "\n";
  for (const JournalOp& op : journal.ops) {
    text += std::string(KindName(op.kind)) + " " + std::to_string(op.number) + " " +
            (op.sha256.empty() ? "-" : op.sha256) + " " + op.path + "\n";
  }
  text += "end\n";
  return WriteFileAtomically(state_.Path("journal"), text, error);
}

bool InstallJournal::Read(Journal* journal, bool* exists, std::string* error) {
  *journal = Journal();
  std::string text;
  *exists = Exists(state_.Path("journal"));
  if (!*exists) return false;
  if (!ReadWholeFile(state_.Path("journal"), &text, error, UINT64_C(1) << 30)) return false;
  bool ok = true, ended = false;
  int line_number = 0;
  ForEachLine(text, [&](std::string_view line) {
    line_number++;
    if (line_number == 1) return ok = line == kJournalMagic;
    std::vector<std::string_view> words = SplitFields(line, 4);
    if (words.size() == 1 && words[0] == "end") {
      ended = true;
      return false;
    }
    if (words.size() == 2 && words[0] == "manifest" && IsSha256Hex(words[1])) {
      journal->manifest_sha256 = std::string(words[1]);
      return true;
    }
    JournalOp op;
    uint64_t number = 0;
    if (words.size() != 4 || !KindFromName(words[0], &op.kind) || !ParseUint64(words[1], &number) ||
        number > 100000000 || !IsSafeChannelPath(words[3]) ||
        (words[2] != "-" && !IsSha256Hex(words[2]))) {
      return ok = false;
    }
    op.number = static_cast<int>(number);
    op.sha256 = words[2] == "-" ? "" : std::string(words[2]);
    op.path = std::string(words[3]);
    journal->ops.push_back(std::move(op));
    return true;
  });
  if (!ok || !ended || journal->manifest_sha256.empty()) {
    *error = "install journal is incomplete";
    return false;
  }
  return true;
}

bool InstallJournal::Apply(const JournalOp& op, std::string* error) {
  std::string target = state_.TargetPath(op.path);
  switch (op.kind) {
    case JournalOpKind::kMkdir:
      if (Sys().mkdir(target.c_str(), 0755) != 0 && errno != EEXIST) {
        *error = target + ": " + ErrnoText(errno);
        return false;
      }
      return true;
    case JournalOpKind::kCreate:
      return Rename(NewPath(op.number), target, error);
    case JournalOpKind::kReplace:
      if (!Exists(OldPath(op.number)) && !Rename(target, OldPath(op.number), error)) return false;
      if (!Rename(NewPath(op.number), target, error)) {
        std::string ignored;
        Rename(OldPath(op.number), target, &ignored);  // put the old version back
        return false;
      }
      return true;
    case JournalOpKind::kDelete:
      return Rename(target, OldPath(op.number), error);
  }
  return false;
}

bool InstallJournal::RollBack(const Journal& journal, const UndoReporter& report,
                              std::string* error) {
  bool ok = true;
  for (auto it = journal.ops.rbegin(); it != journal.ops.rend(); ++it) {
    const JournalOp& op = *it;
    std::string target = state_.TargetPath(op.path);
    std::string new_path = NewPath(op.number), old_path = OldPath(op.number);
    std::string step_error;
    switch (op.kind) {
      case JournalOpKind::kMkdir:
        if (Sys().rmdir(target.c_str()) == 0) report(CASTANET_UNDO_DELETE, op.path);
        break;
      case JournalOpKind::kCreate:
        if (!Exists(new_path) && Exists(target)) {
          if (Rename(target, new_path, &step_error)) {
            report(CASTANET_UNDO_DELETE, op.path);
          } else {
            ok = false;
          }
        }
        break;
      case JournalOpKind::kReplace:
        if (Exists(old_path)) {
          if (!Exists(new_path) && Exists(target) && !Rename(target, new_path, &step_error)) {
            ok = false;
            break;
          }
          if (Rename(old_path, target, &step_error)) {
            report(CASTANET_UNDO_REPLACE, op.path);
          } else {
            ok = false;
          }
        }
        break;
      case JournalOpKind::kDelete:
        if (Exists(old_path)) {
          if (Rename(old_path, target, &step_error)) {
            report(CASTANET_UNDO_CREATE, op.path);
          } else {
            ok = false;
          }
        }
        break;
    }
    if (!step_error.empty()) *error = step_error;
  }
  if (!ok) return false;  // keep the journal: the next session tries again
  SyncDirectory(state_.target());
  Sys().unlink(state_.Path("journal").c_str());
  SyncDirectory(state_.directory());
  ClearDirectory("txn/new");
  ClearDirectory("txn/old");
  return true;
}

void InstallJournal::Finish(const Journal& journal) {
  Sys().unlink(state_.Path("journal").c_str());
  SyncDirectory(state_.directory());
  ClearDirectory("txn/old");
  ClearDirectory("txn/new");
  // The installed files now hold these contents; the holding area needs them no more.
  for (const JournalOp& op : journal.ops) {
    if (!op.sha256.empty()) Sys().unlink(state_.HoldingPath(op.sha256).c_str());
  }
}

bool InstallJournal::Recover(const std::string& installed_manifest_sha256,
                             const UndoReporter& report, bool* recovered, std::string* error) {
  Journal journal;
  bool exists = false;
  *recovered = false;
  if (!Read(&journal, &exists, error)) {
    if (!exists) {
      // Files staged for an install whose journal was never written.
      ClearDirectory("txn/new");
      ClearDirectory("txn/old");
      error->clear();
      return true;
    }
    // An incomplete journal: the process died while writing it, before any rename.
    *recovered = true;
    Sys().unlink(state_.Path("journal").c_str());
    ClearDirectory("txn/new");
    return true;
  }
  *recovered = true;
  if (journal.manifest_sha256 == installed_manifest_sha256) {
    Finish(journal);  // the state was committed; only the tidying was cut short
    return true;
  }
  return RollBack(journal, report, error);
}

void InstallJournal::ClearDirectory(const std::string& relative) {
  std::string directory = state_.Path(relative);
  std::vector<std::string> names;
  platform::ReadDirectoryNames(directory, &names);
  for (const std::string& name : names) Sys().unlink((directory + "/" + name).c_str());
}

}  // namespace castanet
