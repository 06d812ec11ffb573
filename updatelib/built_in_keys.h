// The publisher's public keys, built into mrbupd.dll from the key file the build names
// (MRBUPD_PUBLISHER_KEYS); empty when the build names none.
#pragma once

#include <string_view>

namespace castanet {

std::string_view BuiltInKeys();

}  // namespace castanet
