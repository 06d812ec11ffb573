// Number formatting and number words.
#include "script/lib/number_format.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace script {
namespace {

// Widths and precisions past this are refused: they only make huge texts.
constexpr long kMaxFieldWidth = 1024;

// True when `conversion` (percent sign included) is one integer conversion, optionally with
// flags, width, precision and an h/l length (dropped, as the value is an int), followed
// by text without a percent sign. The cleaned conversion goes to `out`.
bool SafeIntegerFormat(std::string_view conversion, std::string* out) {
  size_t i = 1;
  out->assign("%");
  while (i < conversion.size() && std::strchr("-+ #0", conversion[i]) && conversion[i] != '\0')
    *out += conversion[i++];
  for (int part = 0; part < 2; ++part) {
    if (part == 1) {
      if (i >= conversion.size() || conversion[i] != '.') break;
      *out += conversion[i++];
    }
    long number = 0;
    while (i < conversion.size() && conversion[i] >= '0' && conversion[i] <= '9') {
      number = number * 10 + (conversion[i] - '0');
      if (number > kMaxFieldWidth) return false;
      *out += conversion[i++];
    }
  }
  while (i < conversion.size() && (conversion[i] == 'h' || conversion[i] == 'l')) ++i;
  if (i >= conversion.size() || !std::strchr("diouxXc", conversion[i]) || conversion[i] == '\0')
    return false;
  *out += conversion[i++];
  std::string_view rest = conversion.substr(i);
  if (rest.find('%') != std::string_view::npos) return false;
  *out += rest;
  return true;
}

std::string Printf(const std::string& format, int32_t value) {
  // The format is checked to hold exactly one integer conversion.
  int n = std::snprintf(nullptr, 0, format.c_str(), value);
  if (n < 0) return std::string();
  std::string text(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(text.data(), text.size(), format.c_str(), value);
  text.resize(std::strlen(text.c_str()));  // "%c" of 0 ends the text, as in a C buffer
  return text;
}

const char* const kUnitWords[] = {"",        "one",     "two",       "three",    "four",
                                  "five",    "six",     "seven",     "eight",    "nine",
                                  "ten",     "eleven",  "twelve",    "thirteen", "fourteen",
                                  "fifteen", "sixteen", "seventeen", "eighteen", "nineteen"};
const char* const kOrdinalWords[] = {"",      "first",    "second",  "third",  "fourth",
                                     "fifth", "sixth",    "seventh", "eighth", "ninth",
                                     "tenth", "eleventh", "twelfth"};
const char* const kTensWords[] = {"",      "",      "twenty",  "thirty", "forty",
                                  "fifty", "sixty", "seventy", "eighty", "ninety"};
const char* const kScaleWords[] = {"", " thousand", " million", " billion"};

// The words of one group of three digits. For the ordinal form, *suffix says whether
// the whole text still needs its "th" ending.
std::string GroupWords(int group, bool ordinal, bool embellish, bool* suffix) {
  const int hundreds = group / 100;
  const int rest = group % 100;
  std::string words;
  if (hundreds != 0) {
    words += kUnitWords[hundreds];
    words += " hundred";
    if (rest != 0) words += embellish ? " and " : " ";
  }
  if (rest >= 1 && rest <= 19) {
    words += ordinal && rest <= 12 ? kOrdinalWords[rest] : kUnitWords[rest];
  } else if (rest >= 20) {
    words += kTensWords[rest / 10];
    if (rest % 10 != 0) {
      words += '-';
      words += ordinal ? kOrdinalWords[rest % 10] : kUnitWords[rest % 10];
    }
  }
  *suffix = ordinal && !(rest >= 1 && rest <= 12) && !(rest >= 21 && rest % 10 != 0);
  return words;
}

}  // namespace

void InsertThousandsSeparators(std::string& text) {
  size_t point = text.size();  // left end of the part already grouped
  while (point > 3) {
    point -= 3;
    // Padding and signs are not digits to group: a comma after them would be noise.
    if (!std::isalnum(static_cast<unsigned char>(text[point - 1]))) break;
    text.insert(point, 1, ',');
  }
}

std::string FormatNumber(int32_t value, std::string_view format) {
  std::string conversion("%");
  conversion += format;
  bool separators = false;
  if (size_t comma = conversion.find(','); comma != std::string::npos) {
    separators = true;
    conversion.erase(comma, 1);
  }
  if (conversion.size() == 1) conversion += 'd';
  std::string safe;
  if (!SafeIntegerFormat(conversion, &safe)) safe = "%d";
  std::string text = Printf(safe, value);
  if (separators) InsertThousandsSeparators(text);
  return text;
}

std::string NumberWords(int32_t value, bool ordinal, bool embellish) {
  if (value == 0) return ordinal ? "zeroth" : "zero";
  const bool negative = value < 0;
  int64_t magnitude = negative ? -static_cast<int64_t>(value) : value;
  std::string words;
  bool needs_suffix = false;
  for (int scale = 0; magnitude > 0; ++scale, magnitude /= 1000) {
    const int group = static_cast<int>(magnitude % 1000);
    bool suffix = false;
    std::string group_words = GroupWords(group, ordinal && scale == 0, embellish, &suffix);
    if (scale == 0) needs_suffix = suffix;
    if (group == 0) continue;
    group_words += kScaleWords[scale];
    if (!words.empty()) group_words += embellish ? ", " : " ";
    words = group_words + words;
  }
  if (needs_suffix) {
    if (!words.empty() && words.back() == 'y') {
      words.pop_back();
      words += "ieth";
    } else {
      words += "th";
    }
  }
  return negative ? "negative " + words : words;
}

}  // namespace script
