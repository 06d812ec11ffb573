// zomareg's operations over the platform registry: query, add, delete, import, export,
// with reg.exe's output and messages.
#include "tools/zomareg/commands.h"

#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <vector>

#include "platform/regfile.h"
#include "platform/registry.h"

namespace zomareg {
namespace {

using platform::Status;
using namespace platform::reg;

constexpr const char* kSuccess = "The operation completed successfully.";
constexpr const char* kNotFound =
    "ERROR: The system was unable to find the specified registry key or value.";
constexpr std::uint32_t kRegQword = 11;

struct TypeName {
  const char* name;
  std::uint32_t type;
};

constexpr TypeName kTypeNames[] = {
    {"REG_NONE", kRegNone},     {"REG_SZ", kRegSz},       {"REG_EXPAND_SZ", kRegExpandSz},
    {"REG_BINARY", kRegBinary}, {"REG_DWORD", kRegDword}, {"REG_MULTI_SZ", kRegMultiSz},
    {"REG_QWORD", kRegQword},
};

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::string TypeToName(std::uint32_t type) {
  for (const TypeName& entry : kTypeNames)
    if (entry.type == type) return entry.name;
  return "REG_UNKNOWN(" + std::to_string(type) + ")";
}

std::string StatusText(Status status) {
  switch (status) {
    case platform::kErrorFileNotFound:
      return kNotFound;
    case platform::kErrorAccessDenied:
      return "ERROR: Access is denied.";
    case platform::kErrorBadPathname:
      return "ERROR: Invalid key name.";
    case platform::kErrorRegistryCorrupt:
      return "ERROR: The registry database is corrupt (error 1015).";
    case platform::kErrorRegistryIoFailed:
      return "ERROR: The registry database could not be read or written; it may be locked "
             "by another program (error 1016).";
    default:
      return "ERROR: The registry call failed with error " + std::to_string(status) + ".";
  }
}

int Fail(Console& console, const std::string& message) {
  console.err << message << "\n";
  return 1;
}

int Fail(Console& console, Status status) { return Fail(console, StatusText(status)); }

bool Confirm(Console& console, const std::string& question) {
  console.out << question << " (Yes/No)? " << std::flush;
  std::string answer;
  if (!std::getline(console.in, answer)) answer.clear();
  return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

int Cancelled(Console& console) {
  console.out << "The operation was cancelled by the user.\n";
  return 1;
}

std::string Hex(std::string_view bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (char c : bytes) {
    auto byte = static_cast<unsigned char>(c);
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

std::uint64_t LittleEndian(std::string_view bytes) {
  std::uint64_t number = 0;
  for (size_t i = bytes.size(); i-- > 0;)
    number = number << 8 | static_cast<unsigned char>(bytes[i]);
  return number;
}

// The data column of a query line.
std::string FormatData(std::uint32_t type, std::string_view data) {
  char number[32];
  switch (type) {
    case kRegSz:
    case kRegExpandSz:
      return std::string(data.substr(0, data.find('\0')));
    case kRegMultiSz: {
      std::string joined;
      for (const std::string& item : SplitMultiString(data)) {
        if (!joined.empty()) joined += "\\0";
        joined += item;
      }
      return joined;
    }
    case kRegDword:
      if (data.size() != 4) break;
      std::snprintf(number, sizeof number, "0x%" PRIx64, LittleEndian(data));
      return number;
    case kRegQword:
      if (data.size() != 8) break;
      std::snprintf(number, sizeof number, "0x%" PRIx64, LittleEndian(data));
      return number;
    default:
      break;
  }
  return Hex(data);
}

void PrintValue(Console& console, const std::string& name, std::uint32_t type,
                std::string_view data) {
  console.out << "    " << (name.empty() ? "(Default)" : name) << "    " << TypeToName(type)
              << "    " << FormatData(type, data) << "\n";
}

// A key path that parses and names an existing key.
Status OpenForQuery(const std::string& text, KeyPath* path, ScopedKey* key) {
  if (!ParseKeyPath(text, path)) return platform::kErrorBadPathname;
  return OpenKey(path->root, path->subkey.c_str(), kKeyRead, key->out());
}

std::string FullName(const KeyPath& path) {
  std::string name(RootName(path.root));
  if (!path.subkey.empty()) name += "\\" + path.subkey;
  return name;
}

// Data for add: text in reg.exe's notation converted to the bytes of the type.
bool EncodeData(const Options& options, std::uint32_t type, std::string* bytes) {
  std::string text = options.data.value_or("");
  switch (type) {
    case kRegSz:
    case kRegExpandSz:
      *bytes = text + '\0';
      return true;
    case kRegMultiSz: {
      std::vector<std::string> items;
      if (!text.empty()) {
        size_t start = 0;
        for (size_t found; (found = text.find(options.separator, start)) != std::string::npos;
             start = found + options.separator.size())
          items.push_back(text.substr(start, found - start));
        items.push_back(text.substr(start));
      }
      for (const std::string& item : items)
        if (item.empty()) return false;  // an empty item would end the list early
      *bytes = JoinMultiString(items);
      return true;
    }
    case kRegDword:
    case kRegQword: {
      if (text.empty()) text = "0";
      errno = 0;
      char* end = nullptr;
      unsigned long long number = std::strtoull(text.c_str(), &end, 0);
      bool fits = type == kRegQword || number <= 0xFFFFFFFFull;
      if (errno != 0 || *end != '\0' || text[0] == '-' || !fits) return false;
      size_t size = type == kRegDword ? 4 : 8;
      bytes->clear();
      for (size_t i = 0; i < size; ++i) bytes->push_back(static_cast<char>(number >> (8 * i)));
      return true;
    }
    default: {  // REG_BINARY, REG_NONE: hex digits
      if (text.size() % 2) return false;
      bytes->clear();
      for (size_t i = 0; i < text.size(); i += 2) {
        unsigned byte;
        char pair[3] = {text[i], text[i + 1], 0};
        if (!std::isxdigit(static_cast<unsigned char>(pair[0])) ||
            !std::isxdigit(static_cast<unsigned char>(pair[1])) ||
            std::sscanf(pair, "%x", &byte) != 1)
          return false;
        bytes->push_back(static_cast<char>(byte));
      }
      return true;
    }
  }
}

// Lists one key: its values (or just the one asked for) and, unless recursing, the
// names of its subkeys.
Status QueryKey(Console& console, const Options& options, const KeyPath& path, int* matches) {
  RegFile file;
  if (Status s = CollectRegFile(FullName(path), RegFileFormat::kVersion5, &file);
      s != platform::kErrorSuccess)
    return s;
  console.out << "\n" << FullName(path) << "\n";
  const RegFileKey& top = file.keys.front();
  for (const RegFileValue& value : top.values) {
    if (options.value && Upper(value.name) != Upper(*options.value)) continue;
    PrintValue(console, value.name, value.type, value.data);
    ++*matches;
  }
  // The collected file lists every key below, parents first: direct children are those
  // one level deeper.
  std::string prefix = top.path + "\\";
  for (size_t i = 1; i < file.keys.size(); ++i) {
    const RegFileKey& sub = file.keys[i];
    std::string_view rest = std::string_view(sub.path).substr(prefix.size());
    if (options.recursive) {
      console.out << "\n" << sub.path << "\n";
      for (const RegFileValue& value : sub.values) {
        if (options.value && Upper(value.name) != Upper(*options.value)) continue;
        PrintValue(console, value.name, value.type, value.data);
        ++*matches;
      }
    } else if (!options.value && rest.find('\\') == std::string_view::npos) {
      if (i == 1) console.out << "\n";
      console.out << sub.path << "\n";
    }
  }
  return platform::kErrorSuccess;
}

}  // namespace

int Query(const Options& options, Console& console) {
  KeyPath path;
  ScopedKey key;
  if (Status s = OpenForQuery(options.key, &path, &key); s != platform::kErrorSuccess)
    return Fail(console, s);
  int matches = 0;
  if (Status s = QueryKey(console, options, path, &matches); s != platform::kErrorSuccess)
    return Fail(console, s);
  if (options.value && matches == 0) return Fail(console, kNotFound);
  if (options.recursive) console.out << "\n";
  return 0;
}

int Add(const Options& options, Console& console) {
  KeyPath path;
  if (!ParseKeyPath(options.key, &path)) return Fail(console, platform::kErrorBadPathname);
  std::uint32_t type = 0;
  bool known = false;
  for (const TypeName& entry : kTypeNames) {
    if (Upper(options.type) == entry.name) {
      type = entry.type;
      known = true;
    }
  }
  if (!known) return Fail(console, "ERROR: Invalid type \"" + options.type + "\".");
  std::string bytes;
  if (options.value && !EncodeData(options, type, &bytes))
    return Fail(console, "ERROR: Invalid value \"" + options.data.value_or("") + "\" for " +
                             TypeToName(type) + ".");
  ScopedKey key;
  if (Status s = CreateKey(path.root, path.subkey.c_str(), kKeyAllAccess, key.out());
      s != platform::kErrorSuccess)
    return Fail(console, s);
  if (options.value) {
    std::uint32_t size = 0;
    bool exists = QueryValue(key.get(), options.value->c_str(), nullptr, nullptr, &size) ==
                  platform::kErrorSuccess;
    std::string shown = options.value->empty() ? "(Default)" : *options.value;
    if (exists && !options.force && !Confirm(console, "Value " + shown + " exists, overwrite"))
      return Cancelled(console);
    if (Status s = SetValue(key.get(), options.value->c_str(), type, bytes.data(),
                            static_cast<std::uint32_t>(bytes.size()));
        s != platform::kErrorSuccess)
      return Fail(console, s);
  }
  console.out << kSuccess << "\n";
  return 0;
}

int Delete(const Options& options, Console& console) {
  KeyPath path;
  ScopedKey key;
  if (Status s = OpenForQuery(options.key, &path, &key); s != platform::kErrorSuccess)
    return Fail(console, s);
  std::string name = FullName(path);
  std::string question =
      options.value ? "Delete the registry value " +
                          (options.value->empty() ? std::string("(Default)") : *options.value)
      : options.all_values ? "Delete all values under the registry key " + name
                           : "Permanently delete the registry key " + name;
  if (!options.force && !Confirm(console, question)) return Cancelled(console);
  key.Reset();
  Status status = platform::kErrorSuccess;
  if (options.value || options.all_values) {
    ScopedKey writable;
    status = OpenKey(path.root, path.subkey.c_str(), kKeyRead | kKeyWrite, writable.out());
    if (status == platform::kErrorSuccess && options.value) {
      status = DeleteValue(writable.get(), options.value->c_str());
    } else if (status == platform::kErrorSuccess) {
      // Deleting shifts the indexes: always take the first until none is left.
      char value_name[kMaxValueNameLength + 1];
      for (;;) {
        std::uint32_t size = sizeof value_name;
        status = EnumValue(writable.get(), 0, value_name, &size, nullptr, nullptr, nullptr);
        if (status != platform::kErrorSuccess) break;
        if ((status = DeleteValue(writable.get(), value_name)) != platform::kErrorSuccess) break;
      }
      if (status == platform::kErrorNoMoreItems) status = platform::kErrorSuccess;
    }
  } else if (path.subkey.empty()) {
    return Fail(console, "ERROR: A root key cannot be deleted.");
  } else {
    status = DeleteTree(path.root, path.subkey.c_str());
  }
  if (status != platform::kErrorSuccess) return Fail(console, status);
  console.out << kSuccess << "\n";
  return 0;
}

int Import(const Options& options, Console& console) {
  std::ifstream stream(options.key, std::ios::binary);
  if (!stream) return Fail(console, "ERROR: Cannot open the file \"" + options.key + "\".");
  std::stringstream text;
  text << stream.rdbuf();
  RegFile file;
  RegFileError error;
  if (!ParseRegFile(text.str(), &file, &error))
    return Fail(console,
                "ERROR: " + options.key + ":" + std::to_string(error.line) + ": " + error.message);
  if (Status s = ApplyRegFile(file, &error); s != platform::kErrorSuccess)
    return Fail(console, StatusText(s) + " (" + options.key + ":" + std::to_string(error.line) +
                             ": " + error.message + ")");
  console.out << kSuccess << "\n";
  return 0;
}

int Export(const Options& options, Console& console) {
  KeyPath path;
  if (!ParseKeyPath(options.key, &path)) return Fail(console, platform::kErrorBadPathname);
  std::string text;
  RegFileFormat format = options.regedit4 ? RegFileFormat::kRegedit4 : RegFileFormat::kVersion5;
  if (Status s = ExportRegText(options.key, format, &text); s != platform::kErrorSuccess)
    return Fail(console, s);
  if (options.file == "-") {
    console.out << text << std::flush;
    return 0;
  }
  if (!options.force && std::ifstream(options.file) &&
      !Confirm(console, "File " + options.file + " already exists. Overwrite"))
    return Cancelled(console);
  std::ofstream out(options.file, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) return Fail(console, "ERROR: Cannot write the file \"" + options.file + "\".");
  console.out << kSuccess << "\n";
  return 0;
}

}  // namespace zomareg
