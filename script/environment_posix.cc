// Environment access on POSIX.
#include <cstdlib>

#include "script/environment.h"

namespace script {

std::optional<std::string> GetEnvironment(std::string_view name) {
  const char* value = std::getenv(std::string(name).c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

void PutEnvironment(std::string_view name, std::string_view value) {
  if (name.empty()) return;
  std::string key(name);
  if (value.empty()) {
    unsetenv(key.c_str());
  } else {
    setenv(key.c_str(), std::string(value).c_str(), 1);
  }
}

}  // namespace script
