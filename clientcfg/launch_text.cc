// The text form of launch files: an INI-like text read line by line into section
// records of 16 entries.
//
//   text     := ignored-line* (section-line | comment | key-line | other-line)*
//   section  := "[" name ("]" anything)?      name: trailing blanks removed, 31 chars
//   comment  := ("#" | ";") anything
//   key-line := key "=" value (";" comment)?  key: trailing blanks removed, not empty
// Every line is taken from its first non-blank character: a line end and all the white
// space after it (blank lines, indentation) are skipped together.
#include <string>

#include "clientcfg/launch_file_internal.h"

namespace clientcfg {
namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view TrimRight(std::string_view text) {
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view TrimLeft(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  return text;
}

}  // namespace

int ParseLaunchText(LaunchFile& file, std::string_view text) {
  text = text.substr(0, text.find('\0'));
  std::size_t position = 0;
  auto skip_space = [&] {
    while (position < text.size() && IsSpace(text[position])) ++position;
  };
  skip_space();

  bool seen_section = false;
  std::string section;           // the name of the current section
  bool section_pending = false;  // a new name waits for its first key line
  LaunchSectionRecord* record = nullptr;
  while (position < text.size()) {
    std::size_t end = text.find_first_of("\r\n", position);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(position, end - position);
    position = end;
    skip_space();

    if (line.front() == '[') {
      seen_section = true;
      std::string_view name = line.substr(1);
      name = TrimRight(name.substr(0, name.find(']')));
      name = name.substr(0, kLaunchSectionNameMax);
      if (name != section) {
        section.assign(name);
        section_pending = true;
      }
      continue;
    }
    if (!seen_section || line.front() == '#' || line.front() == ';') continue;
    std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    std::string_view key = TrimRight(line.substr(0, equals));
    if (key.empty()) continue;
    std::string_view value = TrimLeft(line.substr(equals + 1));
    value = TrimRight(value.substr(0, value.find(';')));

    if (section_pending || !record || record->used == kLaunchEntriesPerRecord) {
      record = &AppendLaunchRecord(file, section);
      section_pending = false;
    }
    LaunchEntry& entry = record->entries[record->used++];
    entry.key.assign(key);
    entry.value.assign(value);
    entry.deleted = false;
  }
  return seen_section ? kLaunchOk : kLaunchNoPath;
}

}  // namespace clientcfg
