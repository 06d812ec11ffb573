// Registry files (.reg): reading them into registry changes and writing keys out as
// text, in both forms regedit knows ("REGEDIT4" and "Windows Registry Editor Version
// 5.00"). zomareg and the tests use them to describe registry state. The grammar is
// written out beside the writer in regfile.cc.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win_error.h"

namespace platform::reg {

enum class RegFileFormat {
  kRegedit4,  // "REGEDIT4": string data in hex(1/2/7) lists is 8-bit text
  kVersion5,  // "Windows Registry Editor Version 5.00": that data is UTF-16LE
};

struct RegFileValue {
  std::string name;     // "" is the default value ("@")
  bool remove = false;  // "name"=-
  std::uint32_t type = 0;
  std::string data;  // as stored in the registry (8-bit strings with their zero)
  int line = 0;
};

struct RegFileKey {
  std::string path;     // full key path text, e.g. "HKEY_LOCAL_MACHINE\Software\Norvance"
  bool remove = false;  // [-path]: the key and everything below it
  std::vector<RegFileValue> values;
  int line = 0;
};

struct RegFile {
  RegFileFormat format = RegFileFormat::kVersion5;
  std::vector<RegFileKey> keys;
};

// Where and why reading or applying a file failed.
struct RegFileError {
  int line = 0;  // 1-based line of the file, 0 when not tied to a line
  std::string message;
};

// Parses .reg text (8-bit, UTF-8 or UTF-16LE with its byte-order mark). On malformed
// input returns false and names the first bad line; nothing is half-read.
bool ParseRegFile(std::string_view text, RegFile* file, RegFileError* error);

// Writes the text of a parsed or collected file (CRLF line ends, as regedit writes).
std::string FormatRegFile(const RegFile& file);

// Applies the changes of a file in order: keys are created, values set, "[-key]" and
// "name"=- delete (deleting what is absent is not an error).
Status ApplyRegFile(const RegFile& file, RegFileError* error);

// Parses and applies; nothing changes when the text does not parse.
Status ImportRegText(std::string_view text, RegFileError* error);

// Collects a key and everything below it, keys in name order, values in creation order.
Status CollectRegFile(std::string_view key_path, RegFileFormat format, RegFile* file);

// CollectRegFile and FormatRegFile in one step.
Status ExportRegText(std::string_view key_path, RegFileFormat format, std::string* text);

}  // namespace platform::reg
