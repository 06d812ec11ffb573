// CGI form data (a query string or a POST body): every input decodes to fields whose
// variable names carry the "WWW_" prefix and no ".".
#include <vector>

#include "fuzz/fuzz_input.h"
#include "script/lib/cgi_form.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<script::CgiField> fields;
  script::DecodeFormData(fuzz::AsText(data, size), &fields);
  for (const script::CgiField& field : fields) {
    fuzz::Require(field.name.rfind("WWW_", 0) == 0, "a field without the WWW_ prefix");
    fuzz::Require(field.name.find('.') == std::string::npos, "a \".\" left in a field name");
    fuzz::Require(field.value.size() <= size, "a value longer than the input");
  }
  return 0;
}
