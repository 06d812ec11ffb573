// The channel's signed text files as a client downloads them: manifests, pointers,
// signature blocks and key files. Any text ends in a result or a refusal with a
// reason, and a parsed manifest or pointer written out parses back the same.
#include "fuzz/fuzz_input.h"
#include "updatelib/channel/key_set.h"
#include "updatelib/channel/manifest.h"
#include "updatelib/channel/pointer.h"
#include "updatelib/channel/signed_text.h"

namespace {

void CheckManifest(std::string_view body) {
  castanet::Manifest manifest;
  std::string error;
  if (!castanet::ParseManifest(body, &manifest, &error)) {
    fuzz::Require(!error.empty(), "a refused manifest names its fault");
    return;
  }
  for (const castanet::ManifestFile& file : manifest.files) {
    fuzz::Require(castanet::IsSafeChannelPath(file.path), "manifest paths are safe");
  }
  castanet::Manifest again;
  fuzz::Require(castanet::ParseManifest(castanet::SerializeManifest(manifest), &again, &error),
                "a written manifest parses again");
  fuzz::Require(castanet::SerializeManifest(again) == castanet::SerializeManifest(manifest),
                "a written manifest reads back the same");
}

void CheckPointer(std::string_view body) {
  castanet::Pointer pointer;
  std::string error;
  if (!castanet::ParsePointer(body, &pointer, &error)) {
    fuzz::Require(!error.empty(), "a refused pointer names its fault");
    return;
  }
  castanet::Pointer again;
  fuzz::Require(castanet::ParsePointer(castanet::SerializePointer(pointer), &again, &error),
                "a written pointer parses again");
  fuzz::Require(castanet::SerializePointer(again) == castanet::SerializePointer(pointer),
                "a written pointer reads back the same");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text = fuzz::AsText(data, size);
  std::string error;

  std::string_view body = text;
  std::vector<castanet::Signature> signatures;
  if (!castanet::SplitSignedText(text, &body, &signatures, &error)) body = text;
  CheckManifest(body);
  CheckPointer(body);

  castanet::TrustedKeys keys;
  if (castanet::ParseTrustedKeys(text, &keys, &error)) {
    // The input as a key file and as a document for those keys.
    castanet::VerifySignedText(text, keys, &body, &error);
  }
  castanet::TrustedKeys one_key;
  one_key.public_keys.insert(std::string(32, '\x5a'));
  castanet::VerifySignedText(text, one_key, &body, &error);
  // The input as a key set, and as a key set document meant to follow that key.
  castanet::KeySet set;
  if (castanet::ParseKeySet(body, &set, &error)) castanet::SerializeKeySet(set);
  castanet::AcceptKeySet(text, one_key, "Zoma/Programs", 1, &set, &error);
  return 0;
}
