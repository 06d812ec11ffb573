// Decoding form data the way uncgi does, which is what the scripts were written for.
#include "script/lib/cgi_form.h"

namespace script {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Unescape(std::string_view piece) {
  std::string text;
  text.reserve(piece.size());
  for (size_t i = 0; i < piece.size(); ++i) {
    char c = piece[i];
    if (c == '+') {
      text.push_back(' ');
    } else if (c == '%' && i + 2 < piece.size() && HexValue(piece[i + 1]) >= 0 &&
               HexValue(piece[i + 2]) >= 0) {
      text.push_back(static_cast<char>(HexValue(piece[i + 1]) * 16 + HexValue(piece[i + 2])));
      i += 2;
    } else {
      text.push_back(c);
    }
  }
  return text;
}

bool IsWhite(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

// Text areas arrive with CR LF or lone CR line ends and stray blanks around them.
std::string Cleaned(std::string_view value) {
  while (!value.empty() && IsWhite(value.front())) value.remove_prefix(1);
  std::string text;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\r') {
      text.push_back(value[i]);
    } else if (i + 1 >= value.size() || value[i + 1] != '\n') {
      text.push_back('\n');
    }
  }
  while (!text.empty() && IsWhite(text.back())) text.pop_back();
  return text;
}

}  // namespace

void DecodeFormData(std::string_view data, std::vector<CgiField>* fields) {
  while (!data.empty()) {
    size_t end = data.find('&');
    std::string_view piece = data.substr(0, end);
    data.remove_prefix(end == std::string_view::npos ? data.size() : end + 1);
    if (piece.empty()) continue;
    std::string text = Unescape(piece);
    size_t equals = text.find('=');
    std::string name = text.substr(0, equals);
    std::string value = equals == std::string::npos ? std::string() : text.substr(equals + 1);
    for (char& c : name) {
      if (c == '.') c = '_';
    }
    if (!name.empty() && name[0] == '_') {
      name.erase(0, 1);
      value = Cleaned(value);
    }
    fields->push_back({"WWW_" + name, std::move(value)});
  }
}

std::string CgiErrorPage(std::string_view message) {
  std::string page = "Content-type: text/html\n\n";
  page += "<html><head><title>Error!</title></head>\n<body>\n";
  page += "<h1>An error has occurred while processing your request.</h1>\n";
  page.append(message);
  page += "\n</body></html>\n";
  return page;
}

}  // namespace script
