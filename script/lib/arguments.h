// Argument and result helpers the built-in libraries share, so that a handler reads as
// its algorithm: evaluate and unquote an argument, write a result quoted.
#pragma once

#include <string_view>

#include "script/evaluator.h"

namespace script {

// Removes one level of quoting: the call character is dropped where it stands before a
// token character; before anything else it is kept.
void UnquoteText(std::string_view text, const TokenSet& tokens, TextBuffer& out);

// Argument i evaluated and unquoted (a scratch text of the call); empty when absent.
std::string_view Unquoted(Call& call, int i);

// Writes `text` with the call character put before every token character.
void WriteQuoted(Call& call, std::string_view text);

}  // namespace script
