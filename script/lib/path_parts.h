// Taking script paths apart as text: the drive part (a letter and colon, or a network
// server and share), the file-name part, slash normalisation. No file is touched.
#pragma once

#include <string>
#include <string_view>

namespace script {

inline bool IsSlash(char c) { return c == '/' || c == '\\'; }

// Length of the path's drive part: 2 for "X:", the two slashes, server, slashes and
// share for a network path that has a further slash after the share; 0 when none.
std::size_t DrivePartLength(std::string_view path);

// Where the file-name part begins: after the last slash (0 when there is none). A path
// that ends with a slash has an empty file-name part.
std::size_t FileNameStart(std::string_view path);

// Every "/" becomes "\" and, from the second character on, runs of separators become
// one, so that a leading "\\" of a network path stays. With `clip` a trailing "\" goes.
std::string NormaliseSlashes(std::string_view path, bool clip);

}  // namespace script
