// The target's "properties.txt": "name=value" lines that the library and its caller
// share (proxy settings, "reloc.properties.txt").
#pragma once

#include <optional>
#include <string>

namespace castanet {

std::optional<std::string> GetProperty(const std::string& file, const std::string& name);
// Removes every line for name; the file is rewritten only when it had one.
bool RemoveProperty(const std::string& file, const std::string& name, std::string* error);

}  // namespace castanet
