// Writing "update.log".
#include "updater/update_log.h"

#include <cstdio>

namespace zoma {

std::string FormatLogLine(const std::tm& t, const std::string& text) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "[%02d/%02d/%02d @ %02d:%02d:%02d]  ", t.tm_mon + 1, t.tm_mday,
                t.tm_year % 100, t.tm_hour, t.tm_min, t.tm_sec);
  return stamp + text + "\n";
}

std::string LogFilePath(const std::optional<std::string>& root) {
  return (root ? *root : std::string("C:")) + "\\update.log";
}

UpdateLog::UpdateLog(SystemServices& system, std::function<std::optional<std::string>()> root)
    : system_(system), root_(std::move(root)) {}

void UpdateLog::Write(const std::string& text) {
  std::time_t now = system_.Now();
  std::tm local{};
  localtime_r(&now, &local);
  system_.AppendToFile(LogFilePath(root_ ? root_() : std::nullopt), FormatLogLine(local, text));
}

}  // namespace zoma
