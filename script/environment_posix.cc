// Environment access through the platform layer, so that scripts see the variables as
// a Windows program does: names without regard to case, PATH in Windows form.
#include "platform/environment.h"
#include "script/environment.h"

namespace script {

std::optional<std::string> GetEnvironment(std::string_view name) {
  std::string value;
  if (!platform::GetEnvironmentVariable(std::string(name), &value)) return std::nullopt;
  return value;
}

void PutEnvironment(std::string_view name, std::string_view value) {
  if (name.empty()) return;
  std::string text(value);
  platform::SetEnvironmentVariable(std::string(name), value.empty() ? nullptr : text.c_str());
}

}  // namespace script
