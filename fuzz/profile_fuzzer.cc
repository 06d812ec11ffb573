// INI text: any text reads as a document whose every section and key can be looked up,
// changed and deleted, and whose text reads again. The input is the document, then
// (after NUL bytes) a section, a key and a value to change.
#include "fuzz/fuzz_input.h"
#include "platform/profile_document.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> parts = fuzz::SplitAtNul(fuzz::AsText(data, size));
  parts.resize(std::max<std::size_t>(parts.size(), 4));
  const std::string& section = parts[1];
  const std::string& key = parts[2];
  const std::string& value = parts[3];

  platform::ProfileDocument document(parts[0]);
  std::vector<std::string> sections = document.SectionNames();
  for (const std::string& name : sections) {
    fuzz::Require(document.HasSection(name), "a listed section exists");
    document.Entries(name);
    for (const std::string& key_name : document.KeyNames(name)) {
      fuzz::Require(document.Get(name, key_name).has_value(), "a listed key has a value");
    }
  }
  char buffer[16];
  for (std::uint32_t buffer_size : {0u, 1u, 2u, 3u, 16u}) {
    platform::PackNameList(sections, buffer, buffer_size);
    platform::CopyProfileValue(value, buffer, buffer_size);
  }

  platform::ProfileDocument changed(document.Text());
  changed.Set(section, key, value);
  changed.Get(section, key);
  platform::ProfileDocument reread(changed.Text());
  reread.SectionNames();
  reread.DeleteKey(section, key);
  reread.DeleteSection(section);
  platform::ProfileDocument(reread.Text()).SectionNames();
  return 0;
}
