// Parsing and line-preserving editing of INI text.
#include "platform/profile_document.h"

#include <cstdint>
#include <cstring>

#include "platform/ascii.h"

namespace platform {
namespace {

std::string_view TrimView(std::string_view text) { return TrimAscii(text); }

}  // namespace

ProfileDocument::Line ProfileDocument::ParseLine(std::string text) {
  Line line;
  std::string_view body = TrimView(text);
  if (!body.empty() && body.front() == '[') {
    std::size_t close = body.find(']');
    line.is_section = true;
    line.section = std::string(TrimView(
        body.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
  } else if (!body.empty() && body.front() != ';') {
    std::size_t equals = body.find('=');
    line.is_key = true;
    line.key = std::string(TrimView(body.substr(0, equals)));
  }
  line.text = std::move(text);
  return line;
}

ProfileDocument::ProfileDocument(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view raw = text.substr(start, end - start);
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    lines_.push_back(ParseLine(std::string(raw)));
    start = end + 1;
  }
}

long ProfileDocument::FindSection(std::string_view section) const {
  for (std::size_t i = 0; i < lines_.size(); ++i)
    if (lines_[i].is_section && EqualsIgnoreCase(lines_[i].section, section))
      return static_cast<long>(i);
  return -1;
}

std::size_t ProfileDocument::SectionEnd(std::size_t header) const {
  std::size_t i = header + 1;
  while (i < lines_.size() && !lines_[i].is_section) ++i;
  return i;
}

long ProfileDocument::FindKey(std::size_t header, std::string_view key) const {
  std::size_t end = SectionEnd(header);
  for (std::size_t i = header + 1; i < end; ++i)
    if (lines_[i].is_key && EqualsIgnoreCase(lines_[i].key, key)) return static_cast<long>(i);
  return -1;
}

bool ProfileDocument::HasSection(std::string_view section) const {
  return FindSection(section) >= 0;
}

std::optional<std::string> ProfileDocument::Get(std::string_view section,
                                                std::string_view key) const {
  long header = FindSection(section);
  if (header < 0) return std::nullopt;
  long line = FindKey(header, key);
  if (line < 0) return std::nullopt;
  return ValueOf(lines_[line]);
}

std::string ProfileDocument::ValueOf(const Line& line) {
  std::size_t equals = line.text.find('=');
  if (equals == std::string::npos) return std::string();
  std::string_view value = TrimView(std::string_view(line.text).substr(equals + 1));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return std::string(value);
}

std::vector<std::pair<std::string, std::string>> ProfileDocument::Entries(
    std::string_view section) const {
  std::vector<std::pair<std::string, std::string>> entries;
  long header = FindSection(section);
  if (header < 0) return entries;
  std::size_t end = SectionEnd(header);
  for (std::size_t i = header + 1; i < end; ++i)
    if (lines_[i].is_key) entries.emplace_back(lines_[i].key, ValueOf(lines_[i]));
  return entries;
}

std::vector<std::string> ProfileDocument::SectionNames() const {
  std::vector<std::string> names;
  for (const Line& line : lines_)
    if (line.is_section) names.push_back(line.section);
  return names;
}

std::vector<std::string> ProfileDocument::KeyNames(std::string_view section) const {
  std::vector<std::string> names;
  long header = FindSection(section);
  if (header < 0) return names;
  std::size_t end = SectionEnd(header);
  for (std::size_t i = header + 1; i < end; ++i)
    if (lines_[i].is_key) names.push_back(lines_[i].key);
  return names;
}

void ProfileDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  std::string text = std::string(key) + "=" + std::string(value);
  long header = FindSection(section);
  if (header < 0) {
    if (!lines_.empty() && !TrimView(lines_.back().text).empty()) lines_.push_back(ParseLine(""));
    lines_.push_back(ParseLine("[" + std::string(section) + "]"));
    lines_.push_back(ParseLine(std::move(text)));
    return;
  }
  long line = FindKey(header, key);
  if (line >= 0) {
    // Keep the key's existing spelling.
    lines_[line] = ParseLine(lines_[line].key + "=" + std::string(value));
    return;
  }
  InsertAtSectionEnd(static_cast<std::size_t>(header), std::move(text));
}

void ProfileDocument::Append(std::string_view section, std::string_view key,
                             std::string_view value) {
  std::string text = std::string(key) + "=" + std::string(value);
  long header = FindSection(section);
  if (header < 0) {
    Set(section, key, value);
    return;
  }
  InsertAtSectionEnd(static_cast<std::size_t>(header), std::move(text));
}

void ProfileDocument::InsertAtSectionEnd(std::size_t header, std::string text) {
  // After the section's last non-blank line, so that a blank line before the next
  // section stays where it is.
  std::size_t insert = SectionEnd(header);
  while (insert > static_cast<std::size_t>(header) + 1 && TrimView(lines_[insert - 1].text).empty())
    --insert;
  lines_.insert(lines_.begin() + insert, ParseLine(std::move(text)));
}

void ProfileDocument::DeleteKey(std::string_view section, std::string_view key) {
  long header = FindSection(section);
  if (header < 0) return;
  long line = FindKey(header, key);
  if (line >= 0) lines_.erase(lines_.begin() + line);
}

void ProfileDocument::DeleteSection(std::string_view section) {
  long header = FindSection(section);
  if (header < 0) return;
  lines_.erase(lines_.begin() + header, lines_.begin() + SectionEnd(header));
}

std::string ProfileDocument::Text() const {
  std::string text;
  for (const Line& line : lines_) text += line.text + "\r\n";
  return text;
}

std::uint32_t PackNameList(const std::vector<std::string>& names, char* buffer,
                           std::uint32_t size) {
  if (size == 0) return 0;
  if (size == 1) {
    buffer[0] = '\0';
    return 0;
  }
  std::uint32_t used = 0;
  for (const std::string& name : names) {
    if (used + name.size() + 2 > size) {
      // Cut the last name so that two NULs end the buffer.
      std::uint32_t room = used + 2 <= size ? size - 2 - used : 0;
      std::memcpy(buffer + used, name.data(), room);
      buffer[size - 2] = '\0';
      buffer[size - 1] = '\0';
      return size - 2;
    }
    std::memcpy(buffer + used, name.data(), name.size());
    used += static_cast<std::uint32_t>(name.size());
    buffer[used++] = '\0';
  }
  buffer[used] = '\0';
  return used;
}

std::uint32_t CopyProfileValue(std::string_view value, char* buffer, std::uint32_t size) {
  if (size == 0) return 0;
  std::uint32_t copied =
      value.size() < size - 1 ? static_cast<std::uint32_t>(value.size()) : size - 1;
  std::memcpy(buffer, value.data(), copied);
  buffer[copied] = '\0';
  return copied;
}

}  // namespace platform
