// The launcher's one argument, the game class identifier.
#pragma once

#include <string>

namespace zoma::launcher {

/// Accepted when its leading decimal number (after white space and a sign) is not 0, or
/// when it begins with '0': "12abc" and "007" pass (and are passed on as written),
/// "abc" and " 0" do not.
bool IsGameClassId(const std::string& argument);

}  // namespace zoma::launcher
