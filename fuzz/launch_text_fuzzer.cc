// Launch texts: any text (plain or wrapped), with any load flags, ends in a status; then
// lookups, numbered-key searches and changes with names taken from the input. The input
// is the text, then after NUL bytes a section, a key and a value.
#include "clientcfg/launch_file.h"
#include "fuzz/fuzz_input.h"

namespace {

bool SameText(const char* found, const std::string& expected) { return found && expected == found; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> parts = fuzz::SplitAtNul(fuzz::AsText(data, size));
  parts.resize(std::max<std::size_t>(parts.size(), 4));
  const std::string& section = parts[1];
  const std::string& key = parts[2];
  const std::string& value = parts[3];
  unsigned flags = parts[0].empty() ? 0 : static_cast<unsigned char>(parts[0].back()) & 15;

  clientcfg::LaunchFile file;
  int status = clientcfg::LoadLaunchBytes(&file, parts[0], flags);
  fuzz::Require(status == file.status(), "the status is kept in the object");
  if (status != clientcfg::kLaunchOk) fuzz::Require(!file.loaded(), "a failed load is not loaded");

  clientcfg::GetLaunchValue(&file, section.c_str(), key.c_str(), nullptr);
  clientcfg::GetLaunchIndirectInt(&file, section.c_str(), key.c_str(), value.c_str(), -1);
  clientcfg::CountNumberedKeys(&file, section.c_str(), key.c_str(), value.c_str(), 16);
  int count = 0;
  clientcfg::GetLaunchArray(&file, section.c_str(), key.c_str(), 3, &count);
  clientcfg::GetLaunchIntArray(&file, section.c_str(), key.c_str(), 0);
  std::optional<std::string> blob = clientcfg::GetLaunchBlob(&file, section.c_str(), key.c_str());
  char list[4][8];
  clientcfg::GetLaunchList(&file, section.c_str(), key.c_str(), &list[0][0], 4, 8, nullptr);
  clientcfg::ParseLaunchNumber(value.c_str(), 0);

  // Nothing else answers lookups here: the installation-wide files are never loaded.
  if (clientcfg::SetLaunchValue(&file, section.c_str(), key.c_str(), value.c_str()) ==
          clientcfg::kLaunchOk &&
      file.loaded() && section.size() <= clientcfg::kLaunchSectionNameMax) {
    fuzz::Require(SameText(clientcfg::GetLaunchValue(&file, section.c_str(), key.c_str(), nullptr),
                           value.substr(0, value.find(';'))),
                  "a value set is the value found");
    clientcfg::DeleteLaunchValue(&file, section.c_str(), key.c_str());
    fuzz::Require(!clientcfg::GetLaunchValue(&file, section.c_str(), key.c_str(), nullptr),
                  "a deleted key is gone");
  }
  clientcfg::ClearLaunchFile(&file);
  return 0;
}
