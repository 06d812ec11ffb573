// .reg text: parsing must end in a result or an error, what the writer makes of a parsed
// file must parse again, and what was imported into a throw-away registry must export
// in both forms as text that parses again.
#include "fuzz/fuzz_input.h"
#include "platform/regfile.h"
#include "platform/testing/temp_prefix.h"

namespace {

using platform::reg::RegFile;
using platform::reg::RegFileError;
using platform::reg::RegFileKey;

// "ROOT\first" of a key path (or the root alone): removing it undoes an import below it.
std::string TopKey(const std::string& path) {
  std::size_t root_end = path.find('\\');
  if (root_end == std::string::npos) return path;
  return path.substr(0, path.find('\\', root_end + 1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // One prefix for the whole run; every import is undone so inputs stay independent.
  static platform::testing::TempPrefix prefix;  // removed at exit
  std::string_view text = fuzz::AsText(data, size);

  RegFile file;
  RegFileError error;
  if (!platform::reg::ParseRegFile(text, &file, &error)) {
    fuzz::Require(!error.message.empty(), "a refused .reg text names its fault");
    return 0;
  }
  RegFile again;
  fuzz::Require(platform::reg::ParseRegFile(platform::reg::FormatRegFile(file), &again, &error),
                "written .reg text parses again");
  fuzz::Require(again.keys.size() == file.keys.size(), "written .reg text keeps every key");

  platform::reg::ImportRegText(text, &error);
  RegFile undo;
  for (const RegFileKey& key : file.keys) {
    std::string top = TopKey(key.path);
    for (auto format :
         {platform::reg::RegFileFormat::kRegedit4, platform::reg::RegFileFormat::kVersion5}) {
      std::string exported;
      if (platform::reg::ExportRegText(top, format, &exported) == platform::kErrorSuccess) {
        fuzz::Require(platform::reg::ParseRegFile(exported, &again, &error),
                      "exported .reg text parses again");
      }
    }
    undo.keys.push_back({top, true, {}, 0});
  }
  platform::reg::ApplyRegFile(undo, &error);
  return 0;
}
