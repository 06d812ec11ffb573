// Signing and checking the signature lines of channel documents.
#include "updatelib/channel/signed_text.h"

#include "updatelib/channel/text_fields.h"

namespace castanet {

static constexpr std::string_view kSignaturePrefix = "signature ";

bool ParseTrustedKeys(std::string_view text, TrustedKeys* keys, std::string* error) {
  *keys = TrustedKeys();
  int line_number = 0;
  bool ok = true;
  ForEachLine(text, [&](std::string_view line) {
    line_number++;
    std::vector<std::string_view> words = SplitFields(line);
    if (words.empty() || words[0][0] == '#') return true;
    uint64_t value = 0;
    if (words[0] == "threshold" && words.size() == 2) {
      if (!ParseUint64(words[1], &value) || value < 1 || value > 1000) {
        *error = "key file line " + std::to_string(line_number) + ": bad threshold";
        return ok = false;
      }
      keys->threshold = static_cast<int>(value);
      return true;
    }
    std::string raw;
    if (words[0].size() != 64 || !FromHex(words[0], &raw)) {
      *error = "key file line " + std::to_string(line_number) + ": not a public key";
      return ok = false;
    }
    keys->public_keys.insert(raw);
    return true;
  });
  if (!ok) return false;
  return true;
}

std::string PublicKeyLine(const SigningKey& key, std::string_view name) {
  std::string line = ToHex(key.public_key);
  if (!name.empty()) line += " " + std::string(name);
  return line + "\n";
}

bool SignText(std::string_view body, const std::vector<SigningKey>& keys, std::string* signed_text,
              std::string* error) {
  std::string result(body);
  for (const SigningKey& key : keys) {
    std::string signature;
    if (!Sign(key, body, &signature, error)) return false;
    result += std::string(kSignaturePrefix) + ToHex(key.public_key) + " " + ToHex(signature) + "\n";
  }
  *signed_text = std::move(result);
  return true;
}

bool SplitSignedText(std::string_view text, std::string_view* body,
                     std::vector<Signature>* signatures, std::string* error) {
  signatures->clear();
  size_t position = 0;
  size_t body_end = std::string_view::npos;
  while (position < text.size()) {
    size_t end = text.find('\n', position);
    if (end == std::string_view::npos) {
      *error = "document does not end with a line break";
      return false;
    }
    std::string_view line = text.substr(position, end - position);
    if (line.substr(0, kSignaturePrefix.size()) == kSignaturePrefix) {
      if (body_end == std::string_view::npos) body_end = position;
      std::vector<std::string_view> words = SplitFields(line);
      Signature signature;
      if (words.size() != 3 || !FromHex(words[1], &signature.public_key) ||
          !FromHex(words[2], &signature.signature) || signature.public_key.size() != 32 ||
          signature.signature.size() != 64) {
        *error = "malformed signature line";
        return false;
      }
      signatures->push_back(std::move(signature));
    } else if (body_end != std::string_view::npos) {
      *error = "text after the signatures";
      return false;
    }
    position = end + 1;
  }
  *body = text.substr(0, body_end == std::string_view::npos ? text.size() : body_end);
  return true;
}

bool VerifySignedText(std::string_view text, const TrustedKeys& keys, std::string_view* body,
                      std::string* error) {
  std::vector<Signature> signatures;
  if (!SplitSignedText(text, body, &signatures, error)) return false;
  if (keys.empty()) {
    *error = "no trusted keys";
    return false;
  }
  std::set<std::string> good;
  for (const Signature& s : signatures) {
    if (keys.public_keys.count(s.public_key) && VerifySignature(s.public_key, *body, s.signature)) {
      good.insert(s.public_key);
    }
  }
  if (static_cast<int>(good.size()) < keys.threshold) {
    *error = signatures.empty() ? "document is not signed"
                                : "document is not signed by enough trusted keys";
    return false;
  }
  return true;
}

}  // namespace castanet
