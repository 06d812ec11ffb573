// Reading a cabinet's header and file directory without trusting it: every count, offset
// and string is checked against the file's real size before it is used.
#pragma once

#include <string>
#include <vector>

#include "cab/cabinet.h"

namespace cab {

// False when the file is missing or not a well-formed cabinet. `files` may be null.
bool ReadDirectory(const std::string& host_path, CabinetInfo* info, std::vector<StoredFile>* files);

}  // namespace cab
