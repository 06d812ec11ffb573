// INI ("profile") text as the Win32 profile calls read and change it: sections and
// keys compared without regard to ASCII case, the first of duplicate sections or keys
// winning, values trimmed and stripped of one pair of surrounding quotes. Changes keep
// every other line of the text as it was.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

class ProfileDocument {
 public:
  ProfileDocument() = default;
  explicit ProfileDocument(std::string_view text);

  /// The value of section/key, or nullopt when either is missing.
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;
  std::vector<std::string> SectionNames() const;
  /// Key names of the section in file order (empty when the section is missing).
  std::vector<std::string> KeyNames(std::string_view section) const;
  bool HasSection(std::string_view section) const;
  /// Every key line of the section in file order, duplicates included, as key and
  /// value (for sections read as lists, such as WININIT.INI's [Rename]).
  std::vector<std::pair<std::string, std::string>> Entries(std::string_view section) const;

  /// Sets a value, replacing the key's line or adding it at the end of its section;
  /// a missing section is added at the end of the text.
  void Set(std::string_view section, std::string_view key, std::string_view value);
  /// Adds a key line at the end of its section even when the key is there already
  /// (for list sections such as WININIT.INI's [Rename]).
  void Append(std::string_view section, std::string_view key, std::string_view value);
  void DeleteKey(std::string_view section, std::string_view key);
  void DeleteSection(std::string_view section);

  /// The text with CR LF line ends.
  std::string Text() const;

 private:
  struct Line {
    std::string text;
    std::string section;  // for a section header: its name
    std::string key;      // for a key line: its name
    bool is_section = false;
    bool is_key = false;
  };
  // Index of the first header of the section, or -1.
  long FindSection(std::string_view section) const;
  // End of the section that begins at `header` (the next header or the end).
  std::size_t SectionEnd(std::size_t header) const;
  long FindKey(std::size_t header, std::string_view key) const;
  // Puts a line after the last non-blank line of the section that begins at `header`.
  void InsertAtSectionEnd(std::size_t header, std::string text);
  static Line ParseLine(std::string text);
  // The value of a key line: trimmed, one pair of surrounding quotes removed.
  static std::string ValueOf(const Line& line);

  std::vector<Line> lines_;
};

/// Packs names the way enumerations return them: each name NUL-terminated, the list
/// ended by one more NUL. When the buffer is too small the last name is cut and
/// followed by two NULs and the result is size - 2. Returns the characters written,
/// not counting the final NUL.
std::uint32_t PackNameList(const std::vector<std::string>& names, char* buffer, std::uint32_t size);

/// Copies a value the way the profile calls return it: cut to size - 1 characters,
/// always terminated. Returns the characters copied.
std::uint32_t CopyProfileValue(std::string_view value, char* buffer, std::uint32_t size);

}  // namespace platform
