// Time and integer formatting for scripts.
#include "script/lib/time_format.h"

#include <algorithm>
#include <cstdio>

namespace script {
namespace {

constexpr const char* kWeekdays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};
constexpr const char* kMonths[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};

std::string Strftime(const char* format, const std::tm& time) {
  char buffer[256];
  std::size_t n = std::strftime(buffer, sizeof buffer, format, &time);
  return std::string(buffer, n);
}

std::string WithoutLeadingZeros(std::string text) {
  std::size_t zeros = 0;
  while (zeros + 1 < text.size() && text[zeros] == '0') ++zeros;
  return text.substr(zeros);
}

std::string LongDate(const std::tm& time) {
  const int weekday = time.tm_wday >= 0 && time.tm_wday < 7 ? time.tm_wday : 0;
  const int month = time.tm_mon >= 0 && time.tm_mon < 12 ? time.tm_mon : 0;
  return std::string(kWeekdays[weekday]) + ", " + kMonths[month] + " " +
         std::to_string(time.tm_mday) + ", " + std::to_string(time.tm_year + 1900);
}

// One conversion; false for a character the runtime does not know.
bool Convert(char conversion, bool alternate, const std::tm& time, std::string& out) {
  switch (conversion) {
    case 'c':
      out += alternate ? LongDate(time) + ", " + Strftime("%H:%M:%S", time)
                       : Strftime("%m/%d/%y %H:%M:%S", time);
      return true;
    case 'x':
      out += alternate ? LongDate(time) : Strftime("%m/%d/%y", time);
      return true;
    case 'X':
      out += Strftime("%H:%M:%S", time);
      return true;
    case 'z':
    case 'Z':
      out += Strftime("%Z", time);
      return true;
    case 'a':
    case 'A':
    case 'b':
    case 'B':
    case 'p':
    case 'Y':
      out += Strftime(std::string{'%', conversion}.c_str(), time);
      return true;
    case 'd':
    case 'H':
    case 'I':
    case 'j':
    case 'm':
    case 'M':
    case 'S':
    case 'U':
    case 'w':
    case 'W':
    case 'y': {
      std::string number = Strftime(std::string{'%', conversion}.c_str(), time);
      out += alternate ? WithoutLeadingZeros(number) : number;
      return true;
    }
    case '%':
      out += '%';
      return true;
    default:
      return false;
  }
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string FormatLocalTime(std::string_view format, const std::tm& time) {
  std::string out;
  for (std::size_t i = 0; i < format.size() && out.size() < kMaxTimeText; ++i) {
    if (format[i] != '%' || i + 1 == format.size()) {
      out += format[i];
      continue;
    }
    std::size_t at = i + 1;
    const bool alternate = format[at] == '#';
    if (alternate && at + 1 < format.size()) ++at;
    if (Convert(format[at], alternate, time, out)) {
      i = at;
    } else {
      out += format.substr(i, at + 1 - i);
      i = at;
    }
  }
  if (out.size() > kMaxTimeText) out.resize(kMaxTimeText);
  return out;
}

std::string FormatOneInteger(std::string_view format, std::int32_t value) {
  std::string plain;       // the text with "%%" kept for printf
  std::string conversion;  // the one conversion, rebuilt without a length modifier
  std::size_t conversion_at = 0;
  bool safe = true;
  for (std::size_t i = 0; i < format.size() && safe; ++i) {
    char c = format[i];
    if (c == '\0') {
      safe = false;
      break;
    }
    if (c != '%') {
      plain += c;
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      plain += "%%";
      ++i;
      continue;
    }
    if (!conversion.empty()) {
      safe = false;
      break;
    }
    std::size_t at = i + 1;
    std::string piece = "%";
    while (at < format.size() &&
           std::string_view("-+ #0").find(format[at]) != std::string_view::npos)
      piece += format[at++];
    auto number = [&](void) {
      std::size_t start = at;
      while (at < format.size() && IsDigit(format[at])) ++at;
      if (at - start > 3 ||
          (at > start && std::stoi(std::string(format.substr(start, at - start))) > 500))
        safe = false;
      piece += format.substr(start, at - start);
    };
    number();
    if (at < format.size() && format[at] == '.') {
      piece += format[at++];
      number();
    }
    // Length modifiers are dropped: the value is always a 32-bit int.
    if (format.substr(at, 3) == "I64" || format.substr(at, 3) == "I32") {
      at += 3;
    } else {
      while (at < format.size() && (format[at] == 'h' || format[at] == 'l')) ++at;
    }
    if (at >= format.size() ||
        std::string_view("diouxXc").find(format[at]) == std::string_view::npos) {
      safe = false;
      break;
    }
    piece += format[at];
    conversion = piece;
    conversion_at = plain.size();
    i = at;
  }
  std::string pattern;
  if (!safe) {
    pattern = "%d";
  } else {
    pattern = plain.substr(0, conversion_at) + conversion + plain.substr(conversion_at);
  }
  char buffer[512];
  int n;
  if (!conversion.empty() && safe &&
      std::string_view("ouxX").find(conversion.back()) != std::string_view::npos) {
    n = std::snprintf(buffer, sizeof buffer, pattern.c_str(), static_cast<unsigned>(value));
  } else {
    n = std::snprintf(buffer, sizeof buffer, pattern.c_str(), value);
  }
  if (n < 0) return {};
  return std::string(buffer, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof buffer - 1));
}

}  // namespace script
