// Writing .reg files, and collecting a key tree from the registry to write.
//
// The text this writer produces, and the reader accepts (lines end in CRLF; the reader
// also takes LF, a UTF-8 mark, or UTF-16LE with its mark):
//
//   file      := header NL NL { key-block }
//   header    := "REGEDIT4" | "Windows Registry Editor Version 5.00"
//   key-block := "[" ["-"] key-path "]" NL { value-line NL } NL
//   key-path  := root { "\" name }       root: HKEY_LOCAL_MACHINE, HKLM, HKEY_CURRENT_USER, ...
//   value-line:= ( "@" | quoted ) "=" data
//   quoted    := '"' { char | "\\" | "\"" } '"'
//   data      := quoted                   REG_SZ (the stored terminator is implied)
//              | "dword:" 8 hex digits    REG_DWORD, 4 bytes
//              | "hex:" hex-list          REG_BINARY
//              | "hex(" type-in-hex "):" hex-list   any other type, e.g. hex(2) REG_EXPAND_SZ,
//                                         hex(7) REG_MULTI_SZ; in Version 5.00 files the bytes
//                                         of types 1, 2 and 7 are UTF-16LE text
//              | "-"                      deletes the value
//   hex-list  := [ xx { "," xx } ]        a line may end after a comma with "\" and go on
//                                         on the next line, indented by two spaces
//
// Blank lines and lines starting with ";" are ignored. A REG_SZ whose data is not one
// terminated line of text (embedded zero, line break, no terminator) is written as hex(1).
#include <cstdio>

#include "platform/regfile.h"
#include "platform/registry.h"

namespace platform::reg {
namespace {

constexpr const char* kNewline = "\r\n";
constexpr size_t kLineWidth = 80;

std::string Quote(std::string_view text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') quoted.push_back('\\');
    quoted.push_back(c);
  }
  quoted.push_back('"');
  return quoted;
}

// Whether REG_SZ data can be written as a quoted string and read back the same.
bool IsPlainString(std::string_view data) {
  if (data.empty() || data.back() != '\0') return false;
  data.remove_suffix(1);
  return data.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos;
}

std::string WidenUtf16(std::string_view text) {
  std::string bytes;
  for (char c : text) {
    bytes.push_back(c);
    bytes.push_back('\0');
  }
  return bytes;
}

void AppendHexList(std::string_view bytes, std::string* out, size_t column) {
  static const char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < bytes.size(); ++i) {
    bool last = i + 1 == bytes.size();
    size_t width = last ? 2 : 3;
    if (i > 0 && column + width + 1 > kLineWidth) {
      *out += "\\";
      *out += kNewline;
      *out += "  ";
      column = 2;
    }
    auto byte = static_cast<unsigned char>(bytes[i]);
    out->push_back(kDigits[byte >> 4]);
    out->push_back(kDigits[byte & 15]);
    if (!last) out->push_back(',');
    column += width;
  }
}

void AppendValue(const RegFileValue& value, RegFileFormat format, std::string* out) {
  std::string line = value.name.empty() ? "@" : Quote(value.name);
  line += "=";
  if (value.remove) {
    line += "-";
  } else if (value.type == kRegSz && IsPlainString(value.data)) {
    line += Quote(std::string_view(value.data).substr(0, value.data.size() - 1));
  } else if (value.type == kRegDword && value.data.size() == 4) {
    char digits[16];
    auto* b = reinterpret_cast<const unsigned char*>(value.data.data());
    std::uint32_t number = b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24;
    std::snprintf(digits, sizeof digits, "dword:%08x", number);
    line += digits;
  } else {
    bool text_type =
        value.type == kRegSz || value.type == kRegExpandSz || value.type == kRegMultiSz;
    std::string bytes =
        text_type && format == RegFileFormat::kVersion5 ? WidenUtf16(value.data) : value.data;
    if (value.type == kRegBinary) {
      line += "hex:";
    } else {
      char prefix[24];
      std::snprintf(prefix, sizeof prefix, "hex(%x):", value.type);
      line += prefix;
    }
    size_t column = line.size();
    AppendHexList(bytes, &line, column);
  }
  *out += line;
  *out += kNewline;
}

}  // namespace

std::string FormatRegFile(const RegFile& file) {
  std::string out =
      file.format == RegFileFormat::kRegedit4 ? "REGEDIT4" : "Windows Registry Editor Version 5.00";
  out += kNewline;
  out += kNewline;
  for (const RegFileKey& key : file.keys) {
    out += key.remove ? "[-" : "[";
    out += key.path;
    out += "]";
    out += kNewline;
    for (const RegFileValue& value : key.values) AppendValue(value, file.format, &out);
    out += kNewline;
  }
  return out;
}

Status CollectRegFile(std::string_view key_path, RegFileFormat format, RegFile* file) {
  KeyPath top;
  if (!ParseKeyPath(key_path, &top)) return kErrorBadPathname;
  *file = RegFile();
  file->format = format;
  std::string root(RootName(top.root));
  // Depth first, parents before children, without recursion.
  std::vector<std::string> pending = {top.subkey};
  while (!pending.empty()) {
    std::string subkey = std::move(pending.back());
    pending.pop_back();
    ScopedKey key;
    if (Status s = OpenKey(top.root, subkey.c_str(), kKeyRead, key.out()); s != kErrorSuccess)
      return s;
    KeyInfo info;
    if (Status s = QueryInfoKey(key.get(), &info); s != kErrorSuccess) return s;
    RegFileKey entry;
    entry.path = subkey.empty() ? root : root + "\\" + subkey;
    std::string name(info.max_value_name_length + 1, '\0');
    std::string data(info.max_value_data_size, '\0');
    for (std::uint32_t i = 0;; ++i) {
      RegFileValue value;
      auto name_size = static_cast<std::uint32_t>(name.size());
      auto data_size = static_cast<std::uint32_t>(data.size());
      Status s =
          EnumValue(key.get(), i, name.data(), &name_size, &value.type, data.data(), &data_size);
      if (s == kErrorNoMoreItems) break;
      if (s != kErrorSuccess) return s;  // includes a value that grew meanwhile
      value.name.assign(name.data(), name_size);
      value.data.assign(data.data(), data_size);
      entry.values.push_back(std::move(value));
    }
    std::vector<std::string> children;
    std::string child(info.max_subkey_length + 1, '\0');
    for (std::uint32_t i = 0;; ++i) {
      auto size = static_cast<std::uint32_t>(child.size());
      Status s = EnumKey(key.get(), i, child.data(), &size);
      if (s == kErrorNoMoreItems) break;
      if (s != kErrorSuccess) return s;
      children.push_back(subkey.empty() ? child.substr(0, size)
                                        : subkey + "\\" + child.substr(0, size));
    }
    pending.insert(pending.end(), children.rbegin(), children.rend());
    file->keys.push_back(std::move(entry));
  }
  return kErrorSuccess;
}

Status ExportRegText(std::string_view key_path, RegFileFormat format, std::string* text) {
  RegFile file;
  if (Status s = CollectRegFile(key_path, format, &file); s != kErrorSuccess) return s;
  *text = FormatRegFile(file);
  return kErrorSuccess;
}

}  // namespace platform::reg
