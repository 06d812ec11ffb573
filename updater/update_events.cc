// The update library's event callback: each message code turned into a log line, a
// status text, a progress value, an error box or an action, by the tables of the
// update, error and operation messages.
#include <cstdio>

#include "platform/ascii.h"
#include "platform/win_error.h"
#include "updater/progress_arithmetic.h"
#include "updater/string_table.h"
#include "updater/update_engine.h"

namespace zoma {
namespace {

constexpr const char* kUpdatePrefix = "OP_UPDATE/OP_REPAIR->";

// Files the system installs under a ".zoma" name for replacement at the next start.
constexpr const char* kReplacementSystemFiles[] = {
    "mfc40.dll.zoma",    "mfc42.dll.zoma",    "webpro32.ocx.zoma",
    "msvcrt.dll.zoma",   "msvcrt40.dll.zoma", "olepro32.dll.zoma",
    "oleaut32.dll.zoma", "stdole2.tlb.zoma",  "tsd32.dll.zoma"};

// A file name in a message; "(unnamed file)" without one.
std::string FileText(const char* text) { return text ? text : "(unnamed file)"; }
// An event text in a raw log line; "(null)" without one.
std::string RawText(const char* text) { return text ? text : "(null)"; }

std::string FileMessage(int id, const char* text) {
  return FormatResourceString(id, FileText(text));
}

std::string UnknownMessageLine(const char* prefix, int code, const char* text) {
  return std::string(prefix) + "Unknown msg " + std::to_string(code) + ": " + RawText(text);
}

bool SameNoCase(const char* text, const char* other) {
  return text && platform::EqualsIgnoreCase(text, other);
}

struct UpdateRow {
  int code;
  const char* name;
  int message;
  bool show_status;
};

// Update events that only log (and some show) their message formatted with the text.
constexpr UpdateRow kUpdateRows[] = {
    {101, "CASTANET_UPDATE_SENDING", 20061, true},
    {102, "CASTANET_UPDATE_WAITING", 20062, true},
    {103, "CASTANET_UPDATE_RECEIVING", 20063, true},
    {107, "CASTANET_UDPATE_REPAIRING", 20102, true},
    {108, "CASTANET_UPDATE_NO_CHANGES", 20066, true},
    {111, "CASTANET_UDPATE_CANCELED", 20049, false},
    {200, "CASTANET_UPDATE_CREATE", 20045, false},
    {201, "CASTANET_UPDATE_UPDATE", 20048, false},
    {202, "CASTANET_UPDATE_MKDIR", 20043, false},
    {203, "CASTANET_UPDATE_DELETE", 20044, false},
    {5010, "CASTANET_PROGRESS_UPDATE", 20218, false},
};

struct OperationRow {
  int code;
  const char* line;  // "%s" takes the message
  int message;
};

constexpr OperationRow kUndoRows[] = {
    {400, "OP_UNDO->CASTANET_UNDO_CREATE: %s", 20073},
    {401, "OP_UNDO->CASTANET_UNDO_REPLACE: %s", 20076},
    {402, "OP_UNDO->CASTANET_UNDO_MKDIR: %s", 20075},
    {403, "OP_UNDO->CASTANET_UNDO_DELETE: %s", 20074},
};

constexpr OperationRow kVerifyRows[] = {
    {300, "OP_VERIFY->CASTANET_VERIFY_MISSING: %s", 20082},
    {301, "OP_VERIFY->CASTANET_VERIFY_CANT_READ: %s", 20083},
    {302, "OP_VERIFY->CASTANET_VERIFY_CANT_WRITE: %s", 20084},
    {303, "OP_VERIFY->CASTANET_VERIFY_NOT_DIRECTORY: %s", 20085},
    {304, "OP_VERIFY->CASTANET_VERIFY_NOT_FILE: %s", 20086},
    {305, "OP_VERIFY->CASTANET_VERIFY_READ_ERROR: %s", 20087},
    {306, "OP_VERIFY->CASTANET_VERIFY_MODIFIED: %s", 20088},
};

template <std::size_t N>
const OperationRow* FindRow(const OperationRow (&rows)[N], int code) {
  for (const OperationRow& row : rows)
    if (row.code == code) return &row;
  return nullptr;
}

// Refusals of a channel whose documents fail the library's checks: whoever sits between
// the client and the server could otherwise hold updates back unseen.
struct RefusalRow {
  int code;
  const char* name;
  const char* reason;
  bool only_checking;  // refuses the channel only while its documents are checked
};

constexpr RefusalRow kRefusalRows[] = {
    {CASTANET_ERROR_BAD_SIGNATURE, "CASTANET_ERROR_BAD_SIGNATURE",
     "it is not signed by a trusted key", false},
    {CASTANET_ERROR_ROLLBACK, "CASTANET_ERROR_ROLLBACK",
     "the server offers an older version than the one installed", false},
    {CASTANET_ERROR_EXPIRED, "CASTANET_ERROR_EXPIRED", "the server's update has expired", false},
    {CASTANET_ERROR_BAD_CONTENT, "CASTANET_ERROR_BAD_CONTENT",
     "the server's documents do not match this channel", true},
};

enum class ErrorAction {
  kNone,
  kLogText,        // logs the event's own text and ends the pass as a success
  kDeleteFile,     // deletes the file the event names
  kInstallFailed,  // chains when an updater file is staged, else the undo follows
};

// Error events: the log line "<name><separator><message>", and whether the message also
// goes to the status line and the "Update Error" box.
struct ErrorRow {
  int code;
  const char* name;
  int message;
  bool with_text;  // the message takes the event's text (file name, realm)
  const char* separator;
  bool status;
  bool error_box;
  ErrorAction action;
};

constexpr ErrorRow kErrorRows[] = {
    {CASTANET_ERROR_CONNECT_FAILED, "CASTANET_ERROR_CONNECT_FAILED", 20067, false, ": ", true, true,
     ErrorAction::kNone},
    {CASTANET_ERROR_NO_SUCH_CHANNEL, "CASTANET_ERROR_NO_SUCH_CHANNEL", 20211, false, ": ", false,
     true, ErrorAction::kNone},
    {CASTANET_ERROR_UNEXPECTED_EOF, "CASTANET_ERROR_UNEXPECTED_EOF", 0, false, ": ", false, false,
     ErrorAction::kLogText},
    {CASTANET_ERROR_DISK_FULL, "CASTANET_ERROR_DISK_FULL", 20210, true, ": ", false, true,
     ErrorAction::kNone},
    {CASTANET_ERROR_CANT_READ, "CASTANET_ERROR_CANT_READ", 20209, true, ": ", false, false,
     ErrorAction::kDeleteFile},
    {CASTANET_ERROR_FILE_MISSING, "CASTANET_ERROR_FILE_MISSING", 20212, true, ": ", false, false,
     ErrorAction::kNone},
    {CASTANET_ERROR_INSTALL_FAILED, "CASTANET_ERROR_INSTALL_FAILED", 20207, false, ": ", false,
     false, ErrorAction::kInstallFailed},
    {CASTANET_ERROR_RENAME_FAILED, "CASTANET_ERROR_RENAME_FAILED", 20206, true, ": ", false, false,
     ErrorAction::kNone},
    {CASTANET_ERROR_DELETE_FAILED, "CASTANET_ERROR_DELETE_FAILED", 20208, true, ": ", false, false,
     ErrorAction::kNone},
    {CASTANET_ERROR_WRONG_PASSWD, "CASTANET_ERROR_WRONG_PASSWD", 20216, true, " ", false, true,
     ErrorAction::kNone},
    {CASTANET_ERROR_NO_WINSOCK, "CASTANET_ERROR_NO_WINSOCK", 20203, false, ": ", false, true,
     ErrorAction::kNone},
};

bool IsUpdateTableCode(int code) {
  return (code >= 100 && code <= 111) || (code >= 200 && code <= 203) ||
         (code >= 5009 && code <= 5012);
}

}  // namespace

int UpdateEngine::HandleEvent(std::uint16_t code, const char* text) {
  if (Stopped()) return -1;
  const bool error = code >= 1000 && code <= 1051;
  if (error) {
    bool handled = false;
    int answer = HandleErrorEvent(code, text, &handled);
    if (handled) return answer;
  }
  if (IsUpdateTableCode(code)) return HandleUpdateEvent(code, text);
  HandleOperationEvent(code, text);
  if (error) Log("Error " + std::to_string(code) + ": " + RawText(text));
  return 0;
}

int UpdateEngine::HandleErrorEvent(std::uint16_t code, const char* text, bool* handled) {
  *handled = true;
  for (const RefusalRow& row : kRefusalRows) {
    if (row.code != code || (row.only_checking && CurrentPhase() != Phase::kAvailability)) continue;
    std::string message = "The update of " + channel_.name + " was refused: " + row.reason +
                          ". No files were changed.";
    Log(std::string(row.name) + ": " + RawText(text));
    Status(message);
    Error(message);
    channel_refused_ = true;
    return 0;
  }
  const ErrorRow* row = nullptr;
  for (const ErrorRow& candidate : kErrorRows)
    if (candidate.code == code) row = &candidate;
  if (row == nullptr) {
    *handled = false;
    return 0;
  }
  std::string event_text = FileText(text);
  if (row->action == ErrorAction::kDeleteFile) {
    if (text) system_.DeleteFile(text);
    // The log line shows the path with its backslashes doubled.
    std::string doubled;
    for (char c : event_text) {
      if (c == '\\') doubled.push_back('\\');
      doubled.push_back(c);
    }
    event_text = doubled;
  }
  if (row->action == ErrorAction::kInstallFailed && SelfFileStaged()) {
    installation_.Chain(target_directory_);  // Returns only when the copy could not start.
    return 0;
  }
  if (row->action == ErrorAction::kLogText) {
    Log(std::string(row->name) + ": " + RawText(text));
  } else {
    std::string message = row->with_text ? FormatResourceString(row->message, event_text)
                                         : std::string(LoadResourceString(row->message));
    Log(std::string(row->name) + row->separator + message);
    if (row->status) Status(message);
    if (row->error_box) Error(message);
  }
  switch (row->action) {
    case ErrorAction::kLogText:  // an unexpected end counts as a finished, successful pass
      succeeded_ = 1;
      failed_ = 0;
      ready_ = 1;
      break;
    case ErrorAction::kInstallFailed:
      SetPhase(Phase::kUndo);
      break;
    default:
      break;
  }
  return 0;
}

int UpdateEngine::HandleUpdateEvent(std::uint16_t code, const char* text) {
  auto log_line = [&](const char* name, const std::string& message) {
    Log(std::string(kUpdatePrefix) + name + ": " + message);
  };
  switch (code) {
    case CASTANET_UPDATE_CONNECTING: {
      const char* message = LoadResourceString(20060);
      log_line("CASTANET_UPDATE_CONNECTING", message);
      Status(message);
      connected_ = 1;
      return 0;
    }
    case CASTANET_UPDATE_TRANSFER:
      if (SameNoCase(text, "properties.txt")) return 0;
      log_line("CASTANET_UPDATE_TRANSFER", FileMessage(20050, text));
      if (!first_transfer_seen_) {
        first_transfer_seen_ = true;
        transferring_ = true;
      }
      return 0;
    case CASTANET_UPDATE_INSTALLING:
      transferring_ = false;
      log_line("CASTANET_UPDATE_INSTALLING", FileMessage(20077, text));
      Status(LoadResourceString(kStrInstallingUpdate));
      return 0;
    case CASTANET_UPDATE_INSTALL:
      return InstallFile(text);
    case CASTANET_UDPATE_DONE: {
      std::string message = FormatResourceString(kStrUpdateComplete, channel_.name);
      log_line("CASTANET_UDPATE_DONE", message);
      Status(message);
      return 0;
    }
    case CASTANET_PROGRESS_PERCENT:
      HandlePercent(text);
      return 0;
    case CASTANET_PROGRESS_START:
    case CASTANET_PROGRESS_END:
      return 0;
    default:
      break;
  }
  for (const UpdateRow& row : kUpdateRows) {
    if (row.code != code) continue;
    std::string message = FileMessage(row.message, text);
    log_line(row.name, message);
    if (row.show_status) Status(message);
    return 0;
  }
  // 109 and other codes of the range: the operation tables.
  HandleOperationEvent(code, text);
  return 0;
}

int UpdateEngine::InstallFile(const char* text) {
  if (!text) return -1;
  if (installation_.IsUpdaterFile(text)) {
    // The library must not install it over the running program: the new version goes
    // to the Alternate directory and the chain takes over.
    char buffer[platform::kMaxPath];
    std::snprintf(buffer, sizeof buffer, "%s", text);
    if (library_->lookup_holding_area_file(handle_, buffer, sizeof buffer) == 0 &&
        installation_.StageUpdaterFile(text, buffer))
      self_file_staged_ = 1;
    return -1;
  }
  if (system_.IsRegularFile(text)) system_.MakeWritable(text);
  if (SameNoCase(text, "properties.txt")) {
    const char* relocated = library_->get_property(handle_, "reloc.properties.txt", 0);
    if (relocated && *relocated) system_.DeleteFile(relocated);
  }
  for (const char* name : kReplacementSystemFiles)
    if (SameNoCase(text, name)) installation_.RegisterLogonEntry(text);
  Log(std::string(kUpdatePrefix) + "CASTANET_UPDATE_INSTALL: " + FileMessage(20051, text));
  return 0;
}

void UpdateEngine::HandlePercent(const char* text) {
  std::optional<int> channel_percent = ParsePercentText(text);
  if (!channel_percent) return;
  const int overall = OverallPercent(channel_, *channel_percent);
  if ((overall == 0 || overall == 100) && overall != last_logged_percent_) {
    Log(std::string(kUpdatePrefix) + "CASTANET_PROGRESS_PERCENT: " + RawText(text));
    last_logged_percent_ = overall;
  }
  if (!transferring_) return;
  ReportProgress(overall);
  std::string remaining = TimeRemainingText(overall);
  if (percent_events_ % 4 == 0) Status(remaining);
  ++percent_events_;
}

void UpdateEngine::HandleOperationEvent(std::uint16_t code, const char* text) {
  switch (CurrentPhase()) {
    case Phase::kUndo:
      if (const OperationRow* row = FindRow(kUndoRows, code))
        Log(FormatWithText(row->line, FileMessage(row->message, text)));
      else
        Log(UnknownMessageLine("OP_UNDO->", code, text));
      return;
    case Phase::kClean:
      return;
    case Phase::kVerify:
      if (const OperationRow* row = FindRow(kVerifyRows, code))
        Log(FormatWithText(row->line, FileMessage(row->message, text)));
      else
        Log(UnknownMessageLine("OP_VERIFY->", code, text));
      return;
    case Phase::kPrepare:
      if (code == CASTANET_PREPARE_FILE) return;
      if (code == CASTANET_PROGRESS_UPDATE)
        Log("OP_PREPARE->CASTANET_PROGRESS_UPDATE: " + RawText(text) + " " +
            LoadResourceString(kStrBytesPrepared));
      else
        Log(UnknownMessageLine("OP_PREPARE->", code, text));
      return;
    case Phase::kAvailability:
      if (code == CASTANET_UDPATE_AVAILABLE)
        Log("OP2_AVAIL->CASTANET_UDPATE_AVAILABLE: " + FileMessage(20046, text));
      else
        Log(UnknownMessageLine("OP_2AVAIL->", code, text));
      return;
    default:
      Error("Unknown UpdateLibrary operation!");
      return;
  }
}

}  // namespace zoma
