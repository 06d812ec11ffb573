// The updater's string resources (identifiers 20000-20218): every text the update
// session and its events show or log by number.
#pragma once

#include <string>

namespace zoma {

// Identifiers used by name elsewhere.
inline constexpr int kStrBytesPrepared = 20015;
inline constexpr int kStrUpdateCancelledNotice = 20021;
inline constexpr int kStrUpdating = 20040;
inline constexpr int kStrUpdateComplete = 20041;
inline constexpr int kStrUpdateFailed = 20042;
inline constexpr int kStrUpdateCanceled = 20049;
inline constexpr int kStrInstallingUpdate = 20065;
inline constexpr int kStrUnexpectedFailure = 20200;
inline constexpr int kStrUpdatingRegistry = 20215;

/// The resource text, or "" for an identifier that has none.
const char* LoadResourceString(int id);

/// The resource text with its "%s" replaced by `argument` (the text unchanged when it
/// has no "%s"). Never cut: the argument may be as long as it likes.
std::string FormatResourceString(int id, const std::string& argument);

/// Replaces the first "%s" of a format by `argument`.
std::string FormatWithText(const std::string& format, const std::string& argument);

}  // namespace zoma
