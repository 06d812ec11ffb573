// Form data of a CGI request ("name=value&..."), decoded into the variables GetCGIData
// defines.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace script {

struct CgiField {
  std::string name;   // "WWW_" and the field name, "." turned into "_"
  std::string value;  // decoded; cleaned when the field name began with "_"
};

// Appends one field per "&"-separated piece ("+" is a blank, "%" and two hexadecimal
// digits the byte they name). Empty pieces are skipped.
void DecodeFormData(std::string_view data, std::vector<CgiField>* fields);

// The HTML page a CGI program answers with when the request could not be read.
std::string CgiErrorPage(std::string_view message);

}  // namespace script
