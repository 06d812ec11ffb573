// The settings store: the installation's settings below HKEY_LOCAL_MACHINE, read and
// written without keeping state between calls, and the client's directories and files
// found from them. Getters accept only a value of exactly their own type; anything
// else counts as absent and gives the caller's default.
#pragma once

#include <cstdint>
#include <string>

#include "clientcfg/text_helpers.h"
#include "platform/registry.h"

namespace clientcfg {

using platform::reg::Hkey;

inline constexpr const char* kMainKey = "Software\\Norvance\\Zoma\\Main";
inline constexpr const char* kSearchPathsKey = "Software\\Norvance\\Zoma\\Main\\Search Paths";
inline constexpr const char* kUpdateKey = "Software\\Norvance\\Zoma\\Update";

// Getters on a key opened with query access.
OwnedText QueryString(Hkey key, const char* name, OwnedText default_value = std::nullopt);
std::uint32_t QueryDword(Hkey key, const char* name, std::uint32_t default_value);
/// The bytes of a REG_BINARY value.
OwnedText QueryBinary(Hkey key, const char* name, OwnedText default_value = std::nullopt);

// Getters by subkey path of HKEY_LOCAL_MACHINE (opened for query only).
OwnedText GetSettingString(const char* subkey, const char* name,
                           OwnedText default_value = std::nullopt);
std::uint32_t GetSettingDword(const char* subkey, const char* name, std::uint32_t default_value);
OwnedText GetSettingBinary(const char* subkey, const char* name,
                           OwnedText default_value = std::nullopt);

/// "Software\Norvance\Zoma\Manifest\GAME<id>", the id in decimal ("GAME-1" for -1).
std::string GameKeyName(std::int32_t game_id);
OwnedText GetGameString(std::int32_t game_id, const char* name,
                        OwnedText default_value = std::nullopt);
std::uint32_t GetGameDword(std::int32_t game_id, const char* name, std::uint32_t default_value);
OwnedText GetGameBinary(std::int32_t game_id, const char* name,
                        OwnedText default_value = std::nullopt);

// Setters on an open key; each returns the registry's status.
platform::Status SetString(Hkey key, const char* name, const std::string& value);
platform::Status SetDword(Hkey key, const char* name, std::uint32_t value);
platform::Status SetBinary(Hkey key, const char* name, const void* data, std::uint32_t length);

// Setters by subkey path of HKEY_LOCAL_MACHINE; the key must exist (never created).
platform::Status PutSettingString(const char* subkey, const char* name, const std::string& value);
platform::Status PutSettingDword(const char* subkey, const char* name, std::uint32_t value);
platform::Status PutSettingBinary(const char* subkey, const char* name, const void* data,
                                  std::uint32_t length);

/// A client directory into out[size]: the override value when it exists, else the
/// root value + '\' + the default subdirectory, without trailing separators. `main_key`
/// may be Hkey::kNull (the main key is then opened and closed here). Results: 0 done,
/// 1 did not fit, 2 the main key cannot be opened, 3 the root value is missing.
int GetClientDirectory(const char* override_name, const char* root_name,
                       const char* default_subdirectory, char* out, std::size_t size,
                       Hkey main_key);

/// A client file's path into out[size]: the file override value as it stands, else the
/// client directory + '\' + the file name. Results: 0 done, 1 any failure building the
/// path, 2 the main key cannot be opened.
int GetClientFilePath(const char* file_override_name, const char* directory_override_name,
                      const char* root_name, const char* default_subdirectory,
                      const char* file_name, char* out, std::size_t size, Hkey main_key);

}  // namespace clientcfg
