// Reading .reg files: the text is decoded to 8-bit lines, joined where a hex list
// continues with a trailing backslash, and turned into keys and values. Every malformed
// line is reported with its number; the registry is only touched after the whole file
// has been read. See regfile_writer.cc for the grammar.

#include "platform/ascii.h"
#include "platform/regfile.h"
#include "platform/registry.h"

namespace platform::reg {
namespace {

constexpr std::string_view kRegedit4Header = "REGEDIT4";
constexpr std::string_view kVersion5Header = "Windows Registry Editor Version 5.00";

struct Line {
  std::string text;
  int number;
};

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  return text;
}

std::string_view Trim(std::string_view text) { return TrimAscii(TrimLeft(text), " \t\r"); }

// UTF-16LE code units to 8-bit characters (Latin-1; others become '?').
std::string NarrowUtf16(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    unsigned unit = static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1])
                                                               << 8;
    text.push_back(unit < 0x100 ? static_cast<char>(unit) : '?');
  }
  return text;
}

// The file as 8-bit text, whatever its encoding mark.
std::string DecodeText(std::string_view text) {
  if (text.substr(0, 2) == "\xFF\xFE") return NarrowUtf16(text.substr(2));
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  return std::string(text);
}

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  int number = 1;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back({std::string(line), number++});
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A hex number of 1 to 8 digits, the whole text.
bool ParseHexNumber(std::string_view text, std::uint32_t* number) {
  if (text.empty() || text.size() > 8) return false;
  std::uint32_t result = 0;
  for (char c : text) {
    int digit = HexDigit(c);
    if (digit < 0) return false;
    result = result << 4 | static_cast<std::uint32_t>(digit);
  }
  *number = result;
  return true;
}

// "01,ab, 7f" (a trailing comma is allowed).
bool ParseHexBytes(std::string_view text, std::string* bytes) {
  bytes->clear();
  text = Trim(text);
  while (!text.empty()) {
    size_t comma = text.find(',');
    std::string_view token = Trim(text.substr(0, comma));
    std::uint32_t byte;
    if (token.size() > 2 || !ParseHexNumber(token, &byte)) return false;
    bytes->push_back(static_cast<char>(byte));
    if (comma == std::string_view::npos) break;
    text = TrimLeft(text.substr(comma + 1));
  }
  return true;
}

// A quoted string at the start of `text`; `text` is left after the closing quote.
bool ParseQuoted(std::string_view* text, std::string* out) {
  if (text->empty() || text->front() != '"') return false;
  out->clear();
  for (size_t i = 1; i < text->size(); ++i) {
    char c = (*text)[i];
    if (c == '"') {
      text->remove_prefix(i + 1);
      return true;
    }
    if (c == '\\' && i + 1 < text->size()) {
      char next = (*text)[i + 1];
      if (next == '\\' || next == '"') {
        out->push_back(next);
        ++i;
        continue;
      }
    }
    out->push_back(c);
  }
  return false;
}

class Parser {
 public:
  Parser(RegFile* file, RegFileError* error) : file_(file), error_(error) {}

  bool Parse(std::string_view raw) {
    std::vector<Line> lines = SplitLines(DecodeText(raw));
    if (lines.empty()) return Fail(1, "the file is empty");
    std::string_view header = Trim(lines[0].text);
    if (header == kRegedit4Header) {
      file_->format = RegFileFormat::kRegedit4;
    } else if (header == kVersion5Header) {
      file_->format = RegFileFormat::kVersion5;
    } else {
      return Fail(1,
                  "not a registry file: the first line must be \"REGEDIT4\" or "
                  "\"Windows Registry Editor Version 5.00\"");
    }
    for (size_t i = 1; i < lines.size(); ++i) {
      std::string_view text = Trim(lines[i].text);
      int number = lines[i].number;
      if (text.empty() || text.front() == ';') continue;
      if (text.front() == '[') {
        if (!ParseKeyLine(text, number)) return false;
        continue;
      }
      // A hex list may go on over following lines, each ending in a backslash.
      std::string logical(text);
      while (!logical.empty() && logical.back() == '\\' && IsHexList(logical) &&
             i + 1 < lines.size()) {
        logical.pop_back();
        logical += Trim(lines[++i].text);
      }
      if (!ParseValueLine(logical, number)) return false;
    }
    return true;
  }

 private:
  bool Fail(int line, std::string message) {
    error_->line = line;
    error_->message = std::move(message);
    return false;
  }

  static bool IsHexList(std::string_view line) {
    size_t equals = line.find("=hex");
    return equals != std::string_view::npos;
  }

  bool ParseKeyLine(std::string_view text, int number) {
    if (text.back() != ']') return Fail(number, "a key line must end with \"]\"");
    text = text.substr(1, text.size() - 2);
    RegFileKey key;
    key.line = number;
    if (!text.empty() && text.front() == '-') {
      key.remove = true;
      text.remove_prefix(1);
    }
    KeyPath path;
    if (!ParseKeyPath(text, &path))
      return Fail(number, "bad key path \"" + std::string(text) + "\"");
    key.path = std::string(text);
    file_->keys.push_back(std::move(key));
    return true;
  }

  bool ParseValueLine(std::string_view text, int number) {
    if (file_->keys.empty() || file_->keys.back().remove)
      return Fail(number, "a value must follow a key line");
    RegFileValue value;
    value.line = number;
    if (text.front() == '@') {
      text.remove_prefix(1);
    } else if (!ParseQuoted(&text, &value.name)) {
      return Fail(number, "a value line must start with a quoted name or \"@\"");
    }
    // Value names are C strings in the store: one holding a NUL would land on another.
    if (value.name.find('\0') != std::string::npos)
      return Fail(number, "a value name must not hold a NUL character");
    text = TrimLeft(text);
    if (text.empty() || text.front() != '=') return Fail(number, "\"=\" expected after the name");
    text = Trim(text.substr(1));
    if (!ParseData(text, &value))
      return Fail(number, "unrecognised value data \"" + std::string(text.substr(0, 40)) + "\"");
    file_->keys.back().values.push_back(std::move(value));
    return true;
  }

  bool ParseData(std::string_view text, RegFileValue* value) {
    if (text == "-") {
      value->remove = true;
      return true;
    }
    if (!text.empty() && text.front() == '"') {
      value->type = kRegSz;
      if (!ParseQuoted(&text, &value->data)) return false;
      text = Trim(text);
      if (!text.empty() && text.front() != ';') return false;
      value->data.push_back('\0');
      return true;
    }
    if (text.substr(0, 6) == "dword:") {
      std::uint32_t number;
      if (!ParseHexNumber(text.substr(6), &number)) return false;
      value->type = kRegDword;
      value->data = {static_cast<char>(number), static_cast<char>(number >> 8),
                     static_cast<char>(number >> 16), static_cast<char>(number >> 24)};
      return true;
    }
    if (text.substr(0, 4) == "hex:") {
      value->type = kRegBinary;
      return ParseHexBytes(text.substr(4), &value->data);
    }
    if (text.substr(0, 4) == "hex(") {
      size_t close = text.find("):");
      if (close == std::string_view::npos ||
          !ParseHexNumber(text.substr(4, close - 4), &value->type))
        return false;
      if (!ParseHexBytes(text.substr(close + 2), &value->data)) return false;
      bool text_type =
          value->type == kRegSz || value->type == kRegExpandSz || value->type == kRegMultiSz;
      if (text_type && file_->format == RegFileFormat::kVersion5)
        value->data = NarrowUtf16(value->data);
      return true;
    }
    return false;
  }

  RegFile* file_;
  RegFileError* error_;
};

Status Failed(Status status, int line, const std::string& what, RegFileError* error) {
  error->line = line;
  error->message = what + " failed with error " + std::to_string(status);
  return status;
}

}  // namespace

bool ParseRegFile(std::string_view text, RegFile* file, RegFileError* error) {
  RegFileError ignored;
  *file = RegFile();
  return Parser(file, error ? error : &ignored).Parse(text);
}

Status ApplyRegFile(const RegFile& file, RegFileError* error) {
  RegFileError ignored;
  if (!error) error = &ignored;
  for (const RegFileKey& entry : file.keys) {
    KeyPath path;
    if (!ParseKeyPath(entry.path, &path)) {
      error->line = entry.line;
      error->message = "bad key path \"" + entry.path + "\"";
      return kErrorBadPathname;
    }
    if (entry.remove) {
      Status status = DeleteTree(path.root, path.subkey.c_str());
      if (status != kErrorSuccess && status != kErrorFileNotFound)
        return Failed(status, entry.line, "deleting " + entry.path, error);
      continue;
    }
    ScopedKey key;
    Status status = CreateKey(path.root, path.subkey.c_str(), kKeyAllAccess, key.out());
    if (status != kErrorSuccess) return Failed(status, entry.line, "creating " + entry.path, error);
    for (const RegFileValue& value : entry.values) {
      if (value.remove) {
        status = DeleteValue(key.get(), value.name.c_str());
        if (status == kErrorFileNotFound) status = kErrorSuccess;
      } else {
        status = SetValue(key.get(), value.name.c_str(), value.type, value.data.data(),
                          static_cast<std::uint32_t>(value.data.size()));
      }
      if (status != kErrorSuccess)
        return Failed(status, value.line, "writing \"" + value.name + "\"", error);
    }
  }
  return kErrorSuccess;
}

Status ImportRegText(std::string_view text, RegFileError* error) {
  RegFile file;
  if (!ParseRegFile(text, &file, error)) return kErrorInvalidParameter;
  return ApplyRegFile(file, error);
}

}  // namespace platform::reg
