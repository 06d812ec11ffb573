// Writing a launch file object back out in the text form.
#include "clientcfg/launch_file.h"

namespace clientcfg {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// True when the parser would read the value back unchanged.
bool ReadsBack(const std::string& value) {
  if (value.empty()) return true;
  return value.find_first_of(";\r\n") == std::string::npos && !IsBlank(value.front()) &&
         !IsBlank(value.back());
}

}  // namespace

std::string FormatLaunchText(const LaunchFile& file, std::vector<std::string>* unfaithful) {
  std::string text;
  const std::string* previous = nullptr;
  for (const auto& record : file.records()) {
    bool header_written = previous && *previous == record->name;
    for (int i = 0; i < record->used; ++i) {
      const LaunchEntry& entry = record->entries[i];
      if (entry.deleted) continue;
      if (!header_written) {
        text += "[" + record->name + "]\n";
        header_written = true;
        previous = &record->name;
      }
      std::string value = entry.value;
      if (!ReadsBack(value) && unfaithful) unfaithful->push_back(record->name + "\\" + entry.key);
      for (char& c : value)
        if (c == '\r' || c == '\n') c = ' ';
      text += entry.key + "=" + value + "\n";
    }
  }
  return text;
}

}  // namespace clientcfg
