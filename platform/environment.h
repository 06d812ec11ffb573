// Environment variables as Windows programs see them: the host's variables, names
// compared without regard to case, and PATH presented in Windows form (";"-separated
// Windows paths) while the host keeps it in its own form (":"-separated host paths).
#pragma once

#include <cstdint>
#include <string>

#include "platform/win_error.h"

namespace platform {

// ERROR_ENVVAR_NOT_FOUND.

// GetEnvironmentVariableA: false and kErrorEnvvarNotFound when unset.
bool GetEnvironmentVariable(const std::string& name, std::string* value);
// Buffer form: length without terminator; the size needed (terminator included) when the
// buffer is too small (buffer untouched); 0 when unset.
std::uint32_t GetEnvironmentVariable(const char* name, char* buffer, std::uint32_t size);

// SetEnvironmentVariableA: a null value removes the variable. A name that exists in
// another spelling keeps that spelling.
bool SetEnvironmentVariable(const std::string& name, const char* value);

// ExpandEnvironmentStringsA: every %NAME% of a set variable is replaced by its value;
// unset names and lone "%" stay as written.
std::string ExpandEnvironmentStrings(const std::string& text);
// Buffer form: the size needed including the terminator; the text is written only when
// it fits (buffer untouched otherwise).
std::uint32_t ExpandEnvironmentStrings(const char* text, char* buffer, std::uint32_t size);

// PATH translations, exposed for callers that build command environments.
std::string HostPathListToWindows(const std::string& host_list);
std::string WindowsPathListToHost(const std::string& windows_list);

}  // namespace platform
