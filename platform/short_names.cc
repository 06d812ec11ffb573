// Generation of 8.3 short names for a directory listing.
#include "platform/short_names.h"

#include <cstring>
#include <map>
#include <set>

namespace platform {
namespace {

// Characters a short name may hold besides upper-case letters and digits.
bool IsShortNameSymbol(char c) { return c != '\0' && std::strchr("!#$%&'()-@^_`{}~", c); }

bool IsShortNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || IsShortNameSymbol(c);
}

// A long-name character as it appears in a short name: upper case, or "_" for characters
// that 8.3 names cannot hold. Spaces and dots are dropped (returns '\0').
char ShortNameChar(char c) {
  if (c == ' ' || c == '.') return '\0';
  c = ToUpperAscii(c);
  return IsShortNameChar(c) ? c : '_';
}

std::string ShortNameChars(const std::string& text, std::size_t limit) {
  std::string out;
  for (char c : text) {
    if (out.size() == limit) break;
    if (char mapped = ShortNameChar(c)) out += mapped;
  }
  return out;
}

int DecimalDigits(unsigned n) {
  int digits = 1;
  while (n >= 10) {
    n /= 10;
    ++digits;
  }
  return digits;
}

}  // namespace

bool IsShortName(const std::string& name) {
  std::size_t dot = name.find('.');
  std::string base = name.substr(0, dot);
  std::string ext = dot == std::string::npos ? std::string() : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || ext.size() > 3) return false;
  if (dot != std::string::npos && ext.empty()) return false;
  for (char c : base + ext)
    if (!IsShortNameChar(c)) return false;
  return true;
}

std::vector<std::string> GenerateShortNames(const std::vector<std::string>& names) {
  // Every real name, upper-cased, is taken: a generated name never shadows one.
  std::set<std::string> taken;
  for (const std::string& name : names) taken.insert(ToUpperAscii(name));
  std::map<std::string, unsigned> next_number;  // by "BASENA.EXT"
  std::vector<std::string> result;
  result.reserve(names.size());
  for (const std::string& name : names) {
    if (name == "." || name == ".." || IsShortName(name)) {
      result.emplace_back();
      continue;
    }
    std::size_t start = name.find_first_not_of('.');
    std::string stem = start == std::string::npos ? std::string() : name.substr(start);
    std::size_t dot = stem.rfind('.');
    std::string base = ShortNameChars(stem.substr(0, dot), 6);
    std::string ext =
        dot == std::string::npos ? std::string() : ShortNameChars(stem.substr(dot + 1), 3);
    if (base.empty()) base = "_";
    std::string suffix = ext.empty() ? std::string() : "." + ext;
    unsigned& number = next_number[base + suffix];
    std::string candidate;
    do {
      ++number;
      std::size_t keep = std::min<std::size_t>(base.size(), 7 - DecimalDigits(number));
      candidate = base.substr(0, keep) + "~" + std::to_string(number) + suffix;
    } while (taken.count(candidate));
    taken.insert(candidate);
    result.push_back(candidate);
  }
  return result;
}

}  // namespace platform
