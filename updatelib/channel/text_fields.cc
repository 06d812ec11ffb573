// Field splitting and number parsing for channel files.
#include "updatelib/channel/text_fields.h"

#include <charconv>

namespace castanet {

std::vector<std::string_view> SplitFields(std::string_view line, size_t max_words) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size() && words.size() < max_words) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) i++;
    if (i >= line.size()) break;
    if (words.size() + 1 == max_words) {
      words.push_back(line.substr(i));
      break;
    }
    size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') i++;
    words.push_back(line.substr(start, i - start));
  }
  return words;
}

bool ParseUint64(std::string_view text, uint64_t* value) {
  if (text.empty() || text[0] == '+' || text[0] == '-') return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace castanet
