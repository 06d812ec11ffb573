// Reading the region text and affiliation code from a launch record.
#include "updater/launch_record_fields.h"

#include <fstream>

namespace zoma {
namespace {

constexpr std::size_t kOverrideMcpOffset = 16;
constexpr std::size_t kOverrideMcpSize = 80;
constexpr std::size_t kAffiliationOffset = 2116;
constexpr std::size_t kAffiliationSize = 16;

std::string_view FieldText(std::string_view bytes, std::size_t offset, std::size_t size) {
  std::string_view field = bytes.substr(offset, size);
  return field.substr(0, field.find('\0'));
}

}  // namespace

std::optional<LaunchRecordFields> ParseLaunchRecordFields(std::string_view bytes) {
  if (bytes.size() < kLaunchRecordSize) return std::nullopt;
  LaunchRecordFields fields;
  // Tokens as strtok makes them: runs of separators count as one.
  std::string_view text = FieldText(bytes, kOverrideMcpOffset, kOverrideMcpSize);
  constexpr std::string_view kSeparators = "\t\n.";
  int index = 0;
  for (std::size_t start = text.find_first_not_of(kSeparators); start != std::string_view::npos;) {
    std::size_t end = text.find_first_of(kSeparators, start);
    if (++index == 2) {
      fields.region_text = std::string(text.substr(start, end - start));
      break;
    }
    if (end == std::string_view::npos) break;
    start = text.find_first_not_of(kSeparators, end);
  }
  fields.affiliation = std::string(FieldText(bytes, kAffiliationOffset, kAffiliationSize));
  return fields;
}

std::optional<LaunchRecordFields> ReadLaunchRecordFields(const std::string& host_path) {
  std::ifstream in(host_path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes(kLaunchRecordSize, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (static_cast<std::size_t>(in.gcount()) < kLaunchRecordSize) return std::nullopt;
  return ParseLaunchRecordFields(bytes);
}

}  // namespace zoma
