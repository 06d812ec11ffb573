// Search and replace with the scripts' regular expressions: every match in turn, the
// replacement expanded per match ("&" the match, "\1".."\9" its groups, "\u" "\l"
// "\U" "\L" "\E" "\e" case conversions, "\x" the character x).
#pragma once

#include <string>
#include <string_view>

#include "script/lib/regex_engine.h"

namespace script {

// Every "~" of `replacement` replaced by `previous`.
std::string WithPreviousReplacement(std::string_view replacement, std::string_view previous);

// Appends to `out` the replacement expanded for one match of `text`.
void ExpandReplacement(std::string_view replacement, std::string_view text, const RegexMatch& match,
                       std::string& out);

// Replaces every match in `text`. Each search runs on the text after the previous match,
// so "^" matches at the start of every remaining text; an empty match lets the next
// character through unchanged. False (and `out` empty) when nothing matched.
bool ReplaceMatches(const Regex& regex, std::string_view text, std::string_view replacement,
                    std::string& out);

}  // namespace script
