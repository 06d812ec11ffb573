// The logon entry: a RunOnce value that opens the network's web site once at the next
// logon, registered when a replacement system file ("*.zoma") has been installed.
#pragma once

#include <string>

namespace zoma {

inline constexpr const char* kRunOnceKey = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline constexpr const char* kLogonEntryName = "Logon To Zoma";
inline constexpr const char* kLogonEntryCommand = "start www.zoma.example";

/// Sets the entry when the name ends in "zoma" (case ignored); failures are ignored.
void RegisterLogonEntry(const std::string& installed_file);

}  // namespace zoma
