// Bounded copies, separator and white-space handling for paths and settings texts.
#include "clientcfg/text_helpers.h"

#include <cstring>

#include "platform/ascii.h"

namespace clientcfg {
namespace {
// The C locale's white space, as the platform's trimming takes it.
bool IsSpace(char c) { return platform::kAsciiWhiteSpace.find(c) != std::string_view::npos; }
}  // namespace

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

int CopyBounded(char* dest, const char* source, std::size_t size) {
  if (size == 0) return source && *source ? 1 : 0;
  dest[0] = '\0';
  return AppendBounded(dest, source, size);
}

int AppendBounded(char* dest, const char* source, std::size_t size) {
  if (!source) return 0;
  std::size_t length = strnlen(dest, size);
  if (length >= size) return *source ? 1 : 0;  // not terminated within size: nothing fits
  std::size_t room = size - 1 - length;
  std::size_t wanted = std::strlen(source);
  std::size_t copied = wanted < room ? wanted : room;
  std::memcpy(dest + length, source, copied);
  dest[length + copied] = '\0';
  return copied == wanted ? 0 : 1;
}

int EnsureTrailingSeparator(char* path, std::size_t size) {
  std::size_t length = std::strlen(path);
  if (length > 0 && path[length - 1] == '/') path[length - 1] = '\\';
  if (length > 0 && IsSeparator(path[length - 1])) {
    std::size_t first = length - 1;
    while (first > 0 && IsSeparator(path[first - 1])) --first;
    path[first + 1] = '\0';
    return 0;
  }
  if (length + 2 > size) return 1;
  path[length] = '\\';
  path[length + 1] = '\0';
  return 0;
}

char* StripTrailingSeparators(char* path) {
  std::size_t length = std::strlen(path);
  while (length > 0 && IsSeparator(path[length - 1])) path[--length] = '\0';
  return path;
}

const char* SkipLeadingSeparators(const char* text) {
  while (IsSeparator(*text)) ++text;
  return text;
}

const char* SkipSpaces(const char* text) {
  while (IsSpace(*text)) ++text;
  return text;
}

void TrimRight(char* text) {
  std::size_t length = std::strlen(text);
  while (length > 0 && IsSpace(text[length - 1])) text[--length] = '\0';
}

void TrimRight(std::string& text) {
  while (!text.empty() && IsSpace(text.back())) text.pop_back();
}

void TrimLeft(char* text) {
  const char* start = SkipSpaces(text);
  if (start != text) std::memmove(text, start, std::strlen(start) + 1);
}

void Trim(char* text) {
  std::string_view kept = platform::TrimAscii(text);
  std::memmove(text, kept.data(), kept.size());
  text[kept.size()] = '\0';
}

bool IsAbsolutePath(const char* text) {
  if (!text || !text[0]) return false;
  if (IsSeparator(text[0]) && IsSeparator(text[1])) return true;
  return text[1] == ':' && IsSeparator(text[2]);
}

OwnedText AppendAlloc(OwnedText a, const char* b) {
  if (!b) return a;
  return a.value_or(std::string()) + b;
}

}  // namespace clientcfg
