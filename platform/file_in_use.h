// Whether a file is in use by a process, the question a Windows exclusive open answers
// with a sharing violation. POSIX opens never conflict, so the answer comes from the
// kernel's tables instead: a file is in use when any process we can see holds an open
// descriptor on it, runs it as its program or has it mapped (a loaded library).
// Processes of other users are invisible to us and are not counted.
#pragma once

#include <string>

namespace platform {

/// True when some process (this one included) has the file open or mapped. False for
/// a missing file.
bool IsFileInUse(const std::string& windows_path);

/// The same for a host path.
bool IsHostFileInUse(const std::string& host_path);

}  // namespace platform
