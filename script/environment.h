// Process environment access for the GetEnv and SetEnv built-ins.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace script {

std::optional<std::string> GetEnvironment(std::string_view name);
// Sets `name` to `value`; an empty value removes the variable, as putting "NAME=" does
// on Windows.
void PutEnvironment(std::string_view name, std::string_view value);

}  // namespace script
