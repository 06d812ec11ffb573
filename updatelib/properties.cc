// Reading and editing "properties.txt". Names compare without regard to case.
#include "updatelib/properties.h"

#include "platform/ascii.h"
#include "updatelib/channel/file_io.h"
#include "updatelib/channel/text_fields.h"

namespace castanet {
namespace {

std::string Trim(std::string_view text) { return std::string(platform::TrimAscii(text, " \t\r")); }

bool LineHasName(std::string_view line, const std::string& name) {
  size_t equals = line.find('=');
  if (equals == std::string_view::npos) return false;
  std::string key = Trim(line.substr(0, equals));
  return platform::EqualsIgnoreCase(key, name);
}

}  // namespace

std::optional<std::string> GetProperty(const std::string& file, const std::string& name) {
  std::string text, error;
  if (!ReadWholeFile(file, &text, &error, 1 << 20)) return std::nullopt;
  std::optional<std::string> value;
  ForEachLine(text, [&](std::string_view line) {
    if (LineHasName(line, name)) {
      value = Trim(line.substr(line.find('=') + 1));
      return false;
    }
    return true;
  });
  return value;
}

bool RemoveProperty(const std::string& file, const std::string& name, std::string* error) {
  std::string text;
  if (!ReadWholeFile(file, &text, error, 1 << 20)) return true;  // no file: nothing to remove
  std::string kept;
  bool removed = false;
  size_t position = 0;
  while (position < text.size()) {
    size_t end = text.find('\n', position);
    size_t next = end == std::string::npos ? text.size() : end + 1;
    std::string_view line(text.data() + position, next - position);
    if (LineHasName(line, name)) {
      removed = true;
    } else {
      kept.append(line);
    }
    position = next;
  }
  return !removed || WriteFileAtomically(file, kept, error);
}

}  // namespace castanet
