// Shared argument and result helpers.
#include "script/lib/arguments.h"

namespace script {

void UnquoteText(std::string_view text, const TokenSet& tokens, TextBuffer& out) {
  const char call = tokens.call();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == call && i + 1 < text.size() &&
        tokens.IsToken(static_cast<uint8_t>(text[i + 1]))) {
      ++i;
    }
    out.Append(text[i]);
  }
}

std::string_view Unquoted(Call& call, int i) {
  std::string_view text = call.Script(i);
  const char escape = call.instance->tokens().call();
  if (text.find(escape) == std::string_view::npos) return text;
  TextBuffer& out = call.Scratch();
  out.Clear();
  UnquoteText(text, call.instance->tokens(), out);
  return out.view();
}

void WriteQuoted(Call& call, std::string_view text) {
  TextBuffer& quoted = call.Scratch();
  quoted.Clear();
  QuoteText(text, call.instance->tokens(), quoted);
  call.Write(quoted.view());
}

}  // namespace script
