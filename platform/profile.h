// The Win32 private-profile calls (GetPrivateProfileStringA and friends) on INI files
// named by Windows path. A name without a directory lives in the Windows directory.
// Sections and keys compare without regard to case; results follow the Win32 buffer
// rules. Every call reads the file afresh; every change rewrites it atomically (a
// temporary file renamed over it), so a reader never sees half a file.
#pragma once

#include <cstdint>
#include <string>

#include "platform/profile_document.h"

namespace platform {

/// GetPrivateProfileStringA. A null section lists the section names, a null key the
/// key names of the section (each NUL-terminated, the list ended by one more NUL; when
/// cut, the result is size - 2). Otherwise the value, or the default with trailing
/// blanks removed; cut to size - 1 characters (the result is then size - 1). Returns the
/// characters written, terminator excluded.
std::uint32_t GetPrivateProfileString(const char* section, const char* key,
                                      const char* default_value, char* buffer, std::uint32_t size,
                                      const std::string& file);

/// GetPrivateProfileIntA: the decimal number at the start of the value (0 when there is
/// none); the default when the key is missing or empty. Negative numbers come back in
/// two's complement.
std::uint32_t GetPrivateProfileInt(const char* section, const char* key, int default_value,
                                   const std::string& file);

/// GetPrivateProfileSectionA: the section's lines as "key=value", packed as a list.
std::uint32_t GetPrivateProfileSection(const char* section, char* buffer, std::uint32_t size,
                                       const std::string& file);

/// GetPrivateProfileSectionNamesA.
std::uint32_t GetPrivateProfileSectionNames(char* buffer, std::uint32_t size,
                                            const std::string& file);

/// WritePrivateProfileStringA. A null key deletes the section, a null value the key;
/// the file and section are made when missing. All three null only flushes (nothing is
/// cached). False with the last error set when the file cannot be written (a read-only
/// file gives kErrorAccessDenied).
bool WritePrivateProfileString(const char* section, const char* key, const char* value,
                               const std::string& file);

/// Adds "key=value" at the end of the section even when the key is there already, as
/// list sections need (WININIT.INI's [Rename]); otherwise like
/// WritePrivateProfileString.
bool AppendPrivateProfileLine(const std::string& section, const std::string& key,
                              const std::string& value, const std::string& file);

/// The whole file as a document (empty when it is missing, unreadable or larger than
/// any INI file should be), for code that walks a file itself (WININIT.INI).
ProfileDocument LoadProfileDocument(const std::string& file);

}  // namespace platform
