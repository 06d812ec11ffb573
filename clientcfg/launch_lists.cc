// Numbered keys of launch files (base1, base2, ...): counting them, and reading them as
// lists, arrays of texts or numbers, and Base64 blobs.
#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "clientcfg/launch_file_internal.h"

namespace clientcfg {
namespace {

using Access = LaunchFileAccess;

constexpr int kIntArrayFirstProbe = 16;
constexpr int kBlobFirstProbe = 128;
constexpr std::size_t kBlobBytesPerLine = 54;

// The base is taken as lookups take a key (leading blanks skipped, cut at ";") before
// the number is added: "K;x" + 7 must not look up "K" for every number, which would
// make every count run to the largest number.
std::string NumberedKey(const char* base, long long number) {
  std::optional<std::string_view> name = LaunchName(base);
  if (!name) return "#";  // finds nothing, as the base itself would
  return std::string(*name) + std::to_string(number);
}

bool KeyExists(LaunchFile* file, const char* section, const char* base, long long number) {
  return GetLaunchValue(file, section, NumberedKey(base, number).c_str(), nullptr) != nullptr;
}

std::size_t EntryCount(const LaunchFile& file) {
  if (!file.loaded()) return 0;
  std::size_t count = 0;
  for (const auto& record : file.records()) count += record->used;
  return count;
}

// No series can hold more keys than the files that answer the lookups have entries, so
// a count key claiming billions asks for no more than that.
int MostKeys(LaunchFile* file) {
  std::size_t most = file ? EntryCount(*file) : 0;
  if (!file || !(file->flags() & kLaunchNoFallback))
    most += EntryCount(ExtraLaunchFile()) + EntryCount(DefaultLaunchFile());
  return static_cast<int>(std::min<std::size_t>(most, INT_MAX));
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Appends the bytes of one line: characters outside the alphabet are skipped and "="
// ends the data. A line never gives more than its 54 bytes.
void DecodeBase64Line(const char* line, std::string* out) {
  std::size_t produced = 0;
  std::uint32_t bits = 0;
  int bit_count = 0;
  for (const char* c = line; *c && *c != '=' && produced < kBlobBytesPerLine; ++c) {
    int value = Base64Value(*c);
    if (value < 0) continue;
    bits = (bits << 6) | static_cast<std::uint32_t>(value);
    bit_count += 6;
    if (bit_count >= 8) {
      bit_count -= 8;
      out->push_back(static_cast<char>((bits >> bit_count) & 0xFF));
      ++produced;
    }
  }
}

}  // namespace

int CountNumberedKeys(LaunchFile* file, const char* section, const char* base,
                      const char* count_key, int first_probe) {
  if (count_key) {
    int count = GetLaunchInt(file, section, count_key, -1);
    if (count >= 0) return count;
  }
  // From a first probe of 1 or less the search would stop at once and answer 1 (or -1)
  // however many keys there are; 2 is the smallest start that finds the count.
  long long high = std::max(first_probe, 2);
  long long low = 0;
  for (;;) {
    bool exists = KeyExists(file, section, base, high);
    if (high - low <= 1) return static_cast<int>(exists ? high : high - 1);
    if (exists) {
      long long next = std::min<long long>(2 * high - low, INT_MAX);
      low = high;
      high = next;
    } else {
      high -= (high - low) / 2;
    }
  }
}

int GetLaunchList(LaunchFile* file, const char* section, const char* base, char* buffers,
                  int maximum, int item_size, const char* default_value) {
  if (!buffers || item_size <= 0) return 0;
  int copied = 0;
  for (int k = 1; k <= maximum; ++k) {
    const char* value = GetLaunchValue(file, section, NumberedKey(base, k).c_str(), default_value);
    if (!value || !*value) break;
    char* item = buffers + static_cast<std::size_t>(copied) * static_cast<std::size_t>(item_size);
    std::size_t length = std::min(std::strlen(value), static_cast<std::size_t>(item_size) - 1);
    std::memcpy(item, value, length);
    item[length] = '\0';
    ++copied;
  }
  return copied;
}

std::vector<std::string> GetLaunchArray(LaunchFile* file, const char* section, const char* base,
                                        int first_probe, int* count) {
  std::vector<std::string> texts;
  int wanted =
      std::min(CountNumberedKeys(file, section, base, nullptr, first_probe), MostKeys(file));
  try {
    for (int k = 1; k <= wanted; ++k) {
      const char* value = GetLaunchValue(file, section, NumberedKey(base, k).c_str(), "");
      texts.emplace_back(value);
    }
  } catch (const std::bad_alloc&) {
    texts.clear();
    if (count) *count = -1;
    return texts;
  }
  if (count) *count = static_cast<int>(texts.size());
  return texts;
}

std::vector<int> GetLaunchIntArray(LaunchFile* file, const char* section, const char* base,
                                   int default_value) {
  int count = std::min(CountNumberedKeys(file, section, base, nullptr, kIntArrayFirstProbe),
                       MostKeys(file));
  std::vector<int> numbers(static_cast<std::size_t>(std::max(count, 0)));
  GetLaunchIntArray(file, section, base, numbers.data(), count, default_value);
  return numbers;
}

void GetLaunchIntArray(LaunchFile* file, const char* section, const char* base, int* array,
                       int count, int default_value) {
  if (!array) return;
  for (int k = 1; k <= count; ++k)
    array[k - 1] = GetLaunchInt(file, section, NumberedKey(base, k).c_str(), default_value);
}

std::optional<std::string> GetLaunchBlob(LaunchFile* file, const char* section, const char* base) {
  std::optional<std::string_view> name = LaunchName(base);
  std::string count_key = name ? std::string(*name) + "Lines" : "#";
  int lines = std::min(CountNumberedKeys(file, section, base, count_key.c_str(), kBlobFirstProbe),
                       MostKeys(file));
  std::string bytes;
  try {
    for (int k = 1; k <= lines; ++k)
      if (const char* line = GetLaunchValue(file, section, NumberedKey(base, k).c_str(), nullptr))
        DecodeBase64Line(line, &bytes);
  } catch (const std::bad_alloc&) {
    if (file) Access::status(*file) = kLaunchNoMemory;
    return std::nullopt;
  }
  return bytes;
}

}  // namespace clientcfg
