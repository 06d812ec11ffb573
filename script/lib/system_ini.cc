// The INI rows of the system library: values read and written through the platform's
// private-profile calls, and bodies run over a section's keys or a file's sections.
#include <string>
#include <vector>

#include "platform/profile.h"
#include "script/lib/arguments.h"
#include "script/lib/body_scope.h"
#include "script/lib/system_rows.h"

namespace script {
namespace {

constexpr std::uint32_t kIniBuffer = 1024;

// The names of a zero-separated list as GetPrivateProfileString returns it.
std::vector<std::string> ListNames(const char* buffer, std::uint32_t length) {
  std::vector<std::string> names;
  std::uint32_t at = 0;
  while (at < length && buffer[at] != '\0') {
    std::string name(buffer + at);
    at += static_cast<std::uint32_t>(name.size()) + 1;
    names.push_back(std::move(name));
  }
  return names;
}

bool HasNul(std::string_view text) { return text.find('\0') != std::string_view::npos; }

void GetIniValueBuiltin(Call& call) {
  const std::string file(Unquoted(call, 1));
  const std::string section(Unquoted(call, 2));
  const std::string key(Unquoted(call, 3));
  const std::string fallback(call.Script(4));
  // An empty file name is no INI file, but the lookup still gives the default.
  if (HasNul(file) || HasNul(section) || HasNul(key) || HasNul(fallback)) return;
  const char* section_arg = section.empty() ? nullptr : section.c_str();
  const char* key_arg = key.empty() ? nullptr : key.c_str();
  char buffer[kIniBuffer];
  std::uint32_t length = platform::GetPrivateProfileString(section_arg, key_arg, fallback.c_str(),
                                                           buffer, kIniBuffer, file);
  if (!call.Has(5)) {
    if (section_arg && key_arg) WriteQuoted(call, std::string_view(buffer, length));
    return;
  }
  if (section_arg && key_arg) {
    BodyScope scope(call);
    scope.SetQuoted("IniKey", key);
    scope.SetQuoted("IniValue", std::string_view(buffer, length));
    scope.Run(5);
    return;
  }
  for (const std::string& name : ListNames(buffer, length)) {
    if (call.instance->halted() || call.out->ended) break;
    BodyScope scope(call);
    scope.SetQuoted("IniKey", name);
    if (section_arg) {
      char value[kIniBuffer];
      std::uint32_t n = platform::GetPrivateProfileString(
          section_arg, name.c_str(), fallback.c_str(), value, kIniBuffer, file);
      scope.SetQuoted("IniValue", std::string_view(value, n));
    }
    scope.Run(5);
  }
}

void SetIniValueBuiltin(Call& call) {
  const std::string file(Unquoted(call, 1));
  const std::string section(Unquoted(call, 2));
  const std::string key(Unquoted(call, 3));
  const std::string value(call.Script(4));
  if (file.empty() || HasNul(file) || HasNul(section) || HasNul(key) || HasNul(value)) {
    call.Write("0");
    return;
  }
  call.Write(platform::WritePrivateProfileString(section.c_str(), key.c_str(), value.c_str(), file)
                 ? "1"
                 : "0");
}

const BuiltinRow kIniBuiltins[] = {
    {"GetIniValue", GetIniValueBuiltin, 0, 3},
    {"SetIniValue", SetIniValueBuiltin, 0, 4},
};

}  // namespace

void RegisterIniBuiltins(Instance* instance) { RegisterTable(instance, kIniBuiltins); }

}  // namespace script
