// Text helpers of the settings store. Buffer forms work on a caller's buffer of `size`
// bytes (terminator included) and never write past it; owned texts are
// std::optional<std::string>, where nullopt is "no value" and stays distinct from "".
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace clientcfg {

using OwnedText = std::optional<std::string>;

/// True for '/' and '\'.
bool IsSeparator(char c);

/// Empties dest, then appends as AppendBounded does. 0 when all fit, 1 when cut.
int CopyBounded(char* dest, const char* source, std::size_t size);
/// Appends as much of source as fits in size-1 characters. 0 when all fit, 1 when cut.
int AppendBounded(char* dest, const char* source, std::size_t size);
/// Ends the path with exactly one separator (a trailing '/' becomes '\'). 1 when a
/// needed '\' does not fit (path unchanged), else 0.
int EnsureTrailingSeparator(char* path, std::size_t size);
/// Removes every trailing separator; returns path.
char* StripTrailingSeparators(char* path);
/// The first character that is not a separator.
const char* SkipLeadingSeparators(const char* text);

const char* SkipSpaces(const char* text);
void TrimRight(char* text);
void TrimLeft(char* text);
void Trim(char* text);
void TrimRight(std::string& text);

/// A network path (two leading separators) or a drive-rooted path ("X:\", "X:/").
bool IsAbsolutePath(const char* text);

/// a followed by b; a is returned unchanged when b is absent.
OwnedText AppendAlloc(OwnedText a, const char* b);

}  // namespace clientcfg
