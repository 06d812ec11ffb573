// Number texts for the number library: printf-style formatting of one integer with
// optional thousands separators, and English number words.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace script {

// Formats `value` with `format`, a printf conversion without its percent sign ("x",
// "08X"; empty means "d"). The first comma asks for thousands separators. A format that
// is not one integer conversion (plus trailing text without "%") never reaches printf:
// the value is written as "%d" then, separators still applied when asked for.
std::string FormatNumber(int32_t value, std::string_view format);

// Inserts a comma before every group of three characters from the right while more
// than three characters stand before the insertion point and the character before it
// is a digit (never after a minus sign or padding).
void InsertThousandsSeparators(std::string& text);

// "one thousand twenty", with Embellish "one thousand, two hundred and ..."; ordinal
// forms "twentieth", "twenty-second".
std::string NumberWords(int32_t value, bool ordinal, bool embellish);

}  // namespace script
