// The install journal: an install is a list of renames written down before the first one
// is made, so that a process killed at any moment leaves a target that the next session
// completes or rolls back. Every file is then either its old or its new version.
//
//   castanet-journal 1
//   manifest <sha256>             the manifest being installed
//   <op> <n> <sha256 or -> <path>  op: mkdir, create, replace, delete
//   end                           the journal is complete; nothing is renamed before it
//
// File n's new version waits in txn/new/<n>; its old version is moved to txn/old/<n>.
// Which renames of an operation happened can be told from which of the two exist, so
// each step of the undo can be repeated after another kill.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "updatelib/channel_state.h"

namespace castanet {

enum class JournalOpKind { kMkdir, kCreate, kReplace, kDelete };

struct JournalOp {
  JournalOpKind kind = JournalOpKind::kCreate;
  int number = 0;
  std::string sha256;  // new contents (create, replace)
  std::string path;    // channel-relative
};

struct Journal {
  std::string manifest_sha256;
  std::vector<JournalOp> ops;
};

// Reports an undo step: (undo event code, channel-relative path).
using UndoReporter = std::function<void(int, const std::string&)>;

class InstallJournal {
 public:
  explicit InstallJournal(const ChannelState& state) : state_(state) {}

  bool Write(const Journal& journal, std::string* error);
  // False when there is no complete journal (*exists tells whether a file is there).
  bool Read(Journal* journal, bool* exists, std::string* error);

  // Carries out operation i. On failure nothing of that operation is left half done.
  bool Apply(const JournalOp& op, std::string* error);
  // Undoes every operation that happened, in reverse order, then removes the journal.
  bool RollBack(const Journal& journal, const UndoReporter& report, std::string* error);
  // After the state names the new manifest: drops the old versions and the journal.
  void Finish(const Journal& journal);

  // Completes or rolls back whatever a killed process left. *recovered tells whether
  // there was something to do.
  bool Recover(const std::string& installed_manifest_sha256, const UndoReporter& report,
               bool* recovered, std::string* error);

  std::string NewPath(int n) const { return state_.Path("txn/new/" + std::to_string(n)); }
  std::string OldPath(int n) const { return state_.Path("txn/old/" + std::to_string(n)); }

 private:
  void ClearDirectory(const std::string& relative);
  const ChannelState& state_;
};

}  // namespace castanet
