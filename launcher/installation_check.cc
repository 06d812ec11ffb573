// The installation check through the ".spi" file type's registry entries.
#include "launcher/installation_check.h"

#include "platform/files.h"
#include "platform/registry.h"

namespace zoma::launcher {
namespace {

namespace reg = platform::reg;

constexpr std::uint32_t kBufferSize = 1024;

// The default value of a key below HKEY_LOCAL_MACHINE as text.
std::optional<std::string> DefaultValue(const std::string& subkey) {
  reg::ScopedKey key;
  if (reg::OpenKey(reg::kLocalMachine, subkey.c_str(), reg::kKeyQueryValue, key.out()) !=
      platform::kErrorSuccess)
    return std::nullopt;
  char buffer[kBufferSize];
  std::uint32_t type = 0, size = sizeof buffer;
  if (reg::QueryValue(key.get(), nullptr, &type, buffer, &size) != platform::kErrorSuccess)
    return std::nullopt;
  if (type != reg::kRegSz && type != reg::kRegExpandSz) return std::nullopt;
  std::string text(buffer, size);
  if (std::size_t end = text.find('\0'); end != std::string::npos) text.resize(end);
  return text;
}

}  // namespace

std::optional<std::string> SpiOpenCommand() {
  std::optional<std::string> type = DefaultValue("Software\\Classes\\.spi");
  if (!type || type->empty()) return std::nullopt;
  return DefaultValue("Software\\Classes\\" + *type + "\\Shell\\Open\\command");
}

std::string ProgramOfOpenCommand(const std::string& command) {
  std::string program;
  for (std::size_t i = 0; i < command.size(); ++i) {
    if (command[i] == '"') continue;
    if (command[i] == '%' && i + 1 < command.size() && command[i + 1] == '1') {
      ++i;
      continue;
    }
    program.push_back(command[i]);
  }
  while (!program.empty() && (program.back() == ' ' || program.back() == '\t')) program.pop_back();
  return program;
}

bool IsClientInstalled() {
  std::optional<std::string> command = SpiOpenCommand();
  if (!command) return false;
  std::string program = ProgramOfOpenCommand(*command);
  if (program.empty()) return false;
  std::uint32_t attributes = platform::GetFileAttributes(program);
  return attributes != platform::kInvalidFileAttributes &&
         (attributes & platform::kFileAttributeDirectory) == 0;
}

}  // namespace zoma::launcher
