// "update.log": the updater's log in the installation root, one line appended per
// call and the file closed again, so that it is complete after every line.
#pragma once

#include <ctime>
#include <functional>
#include <optional>
#include <string>

#include "updater/system_services.h"

namespace zoma {

/// "[mm/dd/yy @ hh:mm:ss]  text\n" for a local time.
std::string FormatLogLine(const std::tm& local_time, const std::string& text);

/// The log file: `Root Directory` + "\update.log", else "C:\update.log".
std::string LogFilePath(const std::optional<std::string>& root);

class UpdateLog {
 public:
  /// `root` is asked for the installation root at every line.
  UpdateLog(SystemServices& system, std::function<std::optional<std::string>()> root);
  void Write(const std::string& text);

 private:
  SystemServices& system_;
  std::function<std::optional<std::string>()> root_;
};

}  // namespace zoma
