// The argument rule.
#include "launcher/game_class_id.h"

#include <cctype>

namespace zoma::launcher {

bool IsGameClassId(const std::string& argument) {
  if (!argument.empty() && argument[0] == '0') return true;
  std::size_t i = 0;
  while (i < argument.size() && std::isspace(static_cast<unsigned char>(argument[i]))) ++i;
  if (i < argument.size() && (argument[i] == '+' || argument[i] == '-')) ++i;
  // Any non-zero digit makes the number non-zero, however long it is.
  for (; i < argument.size() && std::isdigit(static_cast<unsigned char>(argument[i])); ++i)
    if (argument[i] != '0') return true;
  return false;
}

}  // namespace zoma::launcher
