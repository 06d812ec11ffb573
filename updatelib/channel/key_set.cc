// Reading, writing and checking key set documents.
#include "updatelib/channel/key_set.h"

#include "updatelib/channel/crypto.h"
#include "updatelib/channel/text_fields.h"

namespace castanet {

static constexpr std::string_view kKeySetMagic = "castanet-keys 1";

std::string SerializeKeySet(const KeySet& set) {
  std::string text = std::string(kKeySetMagic) + "\nchannel " + set.channel + "\nversion " +
                     std::to_string(set.version) + "\nthreshold " +
                     std::to_string(set.keys.threshold) + "\n";
  for (const std::string& key : set.keys.public_keys) text += "key " + ToHex(key) + "\n";
  return text;
}

bool ParseKeySet(std::string_view body, KeySet* set, std::string* error) {
  *set = KeySet();
  int line_number = 0;
  bool ok = true, have_channel = false, have_threshold = false;
  ForEachLine(body, [&](std::string_view line) {
    line_number++;
    if (line_number == 1) return ok = line == kKeySetMagic;
    std::vector<std::string_view> words = SplitFields(line);
    if (words.empty()) return true;
    uint64_t number = 0;
    if (words[0] == "channel" && words.size() == 2) {
      set->channel = std::string(words[1]);
      have_channel = true;
    } else if (words[0] == "version" && words.size() == 2) {
      ok = ParseUint64(words[1], &set->version) && set->version > 0;
    } else if (words[0] == "threshold" && words.size() == 2) {
      ok = ParseUint64(words[1], &number) && number >= 1 && number <= 1000;
      set->keys.threshold = static_cast<int>(number);
      have_threshold = true;
    } else if (words[0] == "key" && words.size() >= 2) {
      std::string raw;
      ok = words[1].size() == 64 && FromHex(words[1], &raw);
      set->keys.public_keys.insert(raw);
    }
    return ok;
  });
  if (!ok || !have_channel || !have_threshold || set->version == 0 || set->keys.empty() ||
      static_cast<size_t>(set->keys.threshold) > set->keys.public_keys.size()) {
    *error = "malformed key set";
    return false;
  }
  return true;
}

bool AcceptKeySet(std::string_view text, const TrustedKeys& current, std::string_view channel,
                  uint64_t version, KeySet* accepted, std::string* error) {
  std::string_view body;
  if (!VerifySignedText(text, current, &body, error)) return false;
  KeySet set;
  if (!ParseKeySet(body, &set, error)) return false;
  if (set.channel != channel || set.version != version) {
    *error = "key set is for " + set.channel + " version " + std::to_string(set.version);
    return false;
  }
  if (!VerifySignedText(text, set.keys, &body, error)) {
    *error = "key set is not signed by its own keys: " + *error;
    return false;
  }
  *accepted = std::move(set);
  return true;
}

}  // namespace castanet
