// Launch records as the client and the updater read them: any bytes, loaded through
// LoadLaunchFile from a file, end in a status; a load that fails leaves nothing behind,
// and every key a load makes answers a lookup. The updater's own reader of the
// region and affiliation takes the same bytes.
#include <stdlib.h>

#include <cctype>

#include "clientcfg/launch_file.h"
#include "fuzz/fuzz_input.h"
#include "platform/testing/host_files.h"
#include "platform/testing/temp_prefix.h"
#include "updater/launch_record_fields.h"
#include "updater/update_sources.h"

namespace {

// A name that lookups take unchanged: they skip leading blanks, cut at ";" and find
// nothing for a "#" first, so a text section such as "[Main;x" can never be found.
bool LookedUpAsIs(const std::string& name) {
  if (name.find(';') != std::string::npos) return false;
  return name.empty() || (name[0] != '#' && !std::isspace(static_cast<unsigned char>(name[0])));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static platform::testing::TempPrefix prefix;  // removed at exit
  static bool ready = [] {
    setenv("ZOMA_HOSTS", "/dev/null", 1);  // no name service: numeric addresses only
    return true;
  }();
  (void)ready;
  std::string_view bytes = fuzz::AsText(data, size);
  platform::testing::WriteHostFile(prefix.drive_c() + "/fuzz.spi", std::string(bytes));

  clientcfg::LaunchFile file;
  int status = clientcfg::LoadLaunchFile(&file, "C:\\fuzz.spi", clientcfg::kLaunchNoFallback);
  fuzz::Require(status == file.status(), "the status is kept in the object");
  if (status != clientcfg::kLaunchOk) {
    fuzz::Require(!file.loaded() && file.records().empty(), "a failed load leaves no entries");
  } else {
    for (const auto& record : file.records())
      for (int i = 0; i < record->used; ++i) {
        const clientcfg::LaunchEntry& entry = record->entries[i];
        if (entry.deleted || !LookedUpAsIs(record->name) || !LookedUpAsIs(entry.key)) continue;
        fuzz::Require(clientcfg::GetLaunchValue(&file, record->name.c_str(), entry.key.c_str(),
                                                nullptr) != nullptr,
                      "every loaded key answers a lookup");
      }
    int count = 0;
    clientcfg::GetLaunchArray(&file, "Main", "MCP", 4, &count);
    fuzz::Require(count >= 0 && count <= 16, "a record has at most 16 MCP addresses");
    clientcfg::GetLaunchIntArray(&file, "Main", "Servorum", 0);
  }

  if (std::optional<zoma::LaunchRecordFields> fields = zoma::ParseLaunchRecordFields(bytes)) {
    zoma::RegionFromText(fields->region_text);
  }
  return 0;
}
