// Field splitting for the line-oriented channel files.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace castanet {

// Splits a line at spaces and tabs; at most max_words fields, the last one taking the
// rest of the line (so that a path with spaces can close a line).
std::vector<std::string_view> SplitFields(std::string_view line, size_t max_words = SIZE_MAX);

// Parses a decimal number without sign, refusing overflow and trailing text.
bool ParseUint64(std::string_view text, uint64_t* value);

// Calls visit(line) for each '\n'-terminated line; a last line without '\n' also counts.
template <typename Visit>
void ForEachLine(std::string_view text, Visit visit) {
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!visit(line)) return;
    if (end == std::string_view::npos) return;
    text.remove_prefix(end + 1);
  }
}

}  // namespace castanet
