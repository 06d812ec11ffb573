// Fetching and checking a channel (pointer, then manifest), and the two calls that use
// it: the availability check and the update.
#include <sys/stat.h>

#include <algorithm>
#include <ctime>

#include "updatelib/channel/crypto.h"
#include "updatelib/channel/file_io.h"
#include "updatelib/channel/key_set.h"
#include "updatelib/profile.h"
#include "updatelib/session.h"
#include "updatelib/session_observer.h"

namespace castanet {
namespace {

constexpr uint64_t kMaxPointerSize = 64 * 1024;
constexpr uint64_t kMaxManifestSize = 256 * 1024 * 1024;

constexpr uint64_t kMaxKeySetSize = 64 * 1024;
// A client this many key sets behind is not walked forward: it is pointed at a set it
// never heard of, or at a server that lies.
constexpr uint64_t kMaxKeySetSteps = 64;

}  // namespace

bool Session::LoadTrustedKeys() {
  if (keys_loaded_) return !keys_broken_;
  keys_loaded_ = true;
  auto broken = [this](const std::string& text) {
    keys_broken_ = true;
    keys_error_ = text;
    return false;
  };
  // A key set the channel rotated to replaces the library's keys.
  std::string text, error;
  struct stat info;
  std::string keyset_path = state_.Path("keyset");
  if (stat(keyset_path.c_str(), &info) == 0) {
    std::string_view body;
    std::vector<Signature> signatures;
    KeySet set;
    if (!ReadWholeFile(keyset_path, &text, &error, kMaxKeySetSize) ||
        !SplitSignedText(text, &body, &signatures, &error) || !ParseKeySet(body, &set, &error) ||
        !VerifySignedText(text, set.keys, &body, &error) || set.channel != channel_)
      return broken(keyset_path + ": " + error);
    keys_ = set.keys;
    keyset_version_ = set.version;
    return true;
  }
  if (!ParseTrustedKeys(config_.built_in_keys, &keys_, &error))
    return broken("built-in keys: " + error);
  // A key file beside the library only adds keys; one that exists but cannot be used
  // must not silently change what is trusted.
  if (!config_.key_file.empty() && stat(config_.key_file.c_str(), &info) == 0) {
    TrustedKeys added;
    if (!ReadWholeFile(config_.key_file, &text, &error, 1 << 20) ||
        !ParseTrustedKeys(text, &added, &error))
      return broken(config_.key_file + ": " + error);
    if (added.empty()) return broken(config_.key_file + ": no keys");
    keys_.public_keys.insert(added.public_keys.begin(), added.public_keys.end());
    keys_.threshold = std::max(keys_.threshold, added.threshold);
  }
  if (keys_.empty()) return broken("no trusted keys: " + channel_ + " cannot be checked");
  return true;
}

bool Session::AdvanceKeySet(std::string_view pointer_text, const TransferSettings& settings) {
  // The pointer is not trusted yet: it only says which key set to look for, and each
  // set is checked against the one before it.
  std::string_view body;
  std::vector<Signature> signatures;
  Pointer hint;
  std::string error;
  if (!SplitSignedText(pointer_text, &body, &signatures, &error) ||
      !ParsePointer(body, &hint, &error) || hint.keyset <= keyset_version_)
    return true;
  if (hint.keyset - keyset_version_ > kMaxKeySetSteps) {
    fetch_error_ = CASTANET_ERROR_BAD_CONTENT;
    return Fail(CASTANET_ERROR_BAD_CONTENT,
                channel_ + ": key set " + std::to_string(hint.keyset) + " is out of reach");
  }
  SessionTransferObserver observer(this);
  while (keyset_version_ < hint.keyset) {
    uint64_t version = keyset_version_ + 1;
    std::vector<HttpRequest> requests(1);
    requests[0].url = base_url_ + KeySetPath(version);
    requests[0].max_bytes = kMaxKeySetSize;
    std::vector<HttpResult> results;
    http_->Run(settings, requests, &observer, &results);
    const HttpResult& result = results[0];
    std::string name = channel_ + " key set " + std::to_string(version);
    if (result.aborted) {
      cancelled_ = true;
      fetch_error_ = CASTANET_UDPATE_CANCELED;
      return false;
    }
    int code = 0;
    if (!result.transport_ok) {
      code = CASTANET_ERROR_CONNECT_FAILED;
      error = result.error;
    } else if (result.status != 200) {
      code = CASTANET_ERROR_SERVER;
      error = "HTTP " + std::to_string(result.status);
    } else {
      KeySet accepted;
      if (!AcceptKeySet(result.body, keys_, channel_, version, &accepted, &error)) {
        code = CASTANET_ERROR_BAD_SIGNATURE;
      } else if (!WriteFileAtomically(state_.Path("keyset"), result.body, &error)) {
        code = CASTANET_ERROR_BAD_STATE;
      } else {
        keys_ = accepted.keys;
        keyset_version_ = version;
        continue;
      }
    }
    fetch_error_ = code;
    return Fail(code, name + ": " + error);
  }
  return true;
}

// One small request for the pointer (conditional on its ETag); the manifest only when
// it is not cached. Every check happens before anything is remembered.
bool Session::FetchChannel() {
  if (fetched_) return fetch_error_ == 0;
  fetched_ = true;
  auto fail = [this](int code, const std::string& text) {
    fetch_error_ = code;
    return Fail(code, text);
  };
  if (!LoadTrustedKeys()) return fail(CASTANET_ERROR_BAD_SIGNATURE, keys_error_);

  std::string cached_text, cached_etag, error;
  if (ReadWholeFile(state_.Path("pointer"), &cached_text, &error, kMaxPointerSize) &&
      ReadWholeFile(state_.Path("pointer.etag"), &cached_etag, &error, 1024)) {
    while (!cached_etag.empty() && cached_etag.back() == '\n') cached_etag.pop_back();
  } else {
    cached_text.clear();
    cached_etag.clear();
  }

  TransferSettings settings = MakeTransferSettings();
  SessionTransferObserver observer(this);
  std::vector<HttpRequest> requests(1);
  requests[0].url = base_url_ + std::string(kPointerPath);
  requests[0].max_bytes = kMaxPointerSize;
  requests[0].if_none_match = cached_etag;
  std::vector<HttpResult> results;
  http_->Run(settings, requests, &observer, &results);
  const HttpResult result = results[0];
  if (result.aborted) {
    cancelled_ = true;
    fetch_error_ = CASTANET_UDPATE_CANCELED;
    return false;
  }
  if (!result.transport_ok) {
    return fail(result.connected ? CASTANET_ERROR_SERVER : CASTANET_ERROR_CONNECT_FAILED,
                base_url_ + ": " + result.error);
  }
  std::string pointer_text;
  if (result.status == 304 && !cached_text.empty()) {
    pointer_text = cached_text;
  } else if (result.status == 200) {
    pointer_text = result.body;
  } else if (result.status == 401 || result.status == 403) {
    return fail(CASTANET_ERROR_WRONG_PASSWD, channel_);
  } else if (result.status == 404) {
    return fail(CASTANET_ERROR_NO_SUCH_CHANNEL, channel_);
  } else {
    return fail(CASTANET_ERROR_SERVER, base_url_ + ": HTTP " + std::to_string(result.status));
  }

  if (!AdvanceKeySet(pointer_text, settings)) return false;
  std::string_view body;
  if (!VerifySignedText(pointer_text, keys_, &body, &error)) {
    return fail(CASTANET_ERROR_BAD_SIGNATURE, channel_ + " pointer: " + error);
  }
  Pointer pointer;
  if (!ParsePointer(body, &pointer, &error)) return fail(CASTANET_ERROR_BAD_CONTENT, error);
  // The channel name is signed, so one channel's pointer cannot stand in for another's:
  // it must be exactly this channel, not one whose name ends the same.
  if (channel_ != pointer.channel) {
    return fail(CASTANET_ERROR_BAD_CONTENT, "pointer is for channel " + pointer.channel);
  }
  if (pointer.expires < static_cast<uint64_t>(time(nullptr))) {
    return fail(CASTANET_ERROR_EXPIRED, channel_);
  }
  // No going back: not below what is installed, nor below a pointer already accepted.
  InstalledState installed;
  state_.Load(&installed, &error);
  Pointer previous;
  std::string_view previous_body;
  std::string ignored;
  std::vector<Signature> previous_signatures;
  bool have_previous =
      !cached_text.empty() &&
      SplitSignedText(cached_text, &previous_body, &previous_signatures, &ignored) &&
      ParsePointer(previous_body, &previous, &ignored);
  if (pointer.version < installed.version ||
      (have_previous && pointer.version < previous.version)) {
    return fail(CASTANET_ERROR_ROLLBACK, channel_ + ": version " + std::to_string(pointer.version));
  }
  if (pointer.version == installed.version && !installed.manifest_sha256.empty() &&
      pointer.manifest_sha256 != installed.manifest_sha256) {
    return fail(CASTANET_ERROR_ROLLBACK,
                channel_ + ": version " + std::to_string(pointer.version) + " was published twice");
  }

  std::string manifest_text;
  std::string cache = state_.ManifestFile(pointer.manifest_sha256);
  if (!ReadWholeFile(cache, &manifest_text, &error, kMaxManifestSize) ||
      Sha256Hex(manifest_text) != pointer.manifest_sha256) {
    std::vector<HttpRequest> manifest_request(1);
    manifest_request[0].url = base_url_ + ManifestPath(pointer.version, pointer.manifest_sha256);
    manifest_request[0].max_bytes = std::min(pointer.manifest_size, kMaxManifestSize);
    http_->Run(settings, manifest_request, &observer, &results);
    if (results[0].aborted) {
      cancelled_ = true;
      fetch_error_ = CASTANET_UDPATE_CANCELED;
      return false;
    }
    if (!results[0].transport_ok || results[0].status != 200) {
      return fail(results[0].transport_ok ? CASTANET_ERROR_SERVER : CASTANET_ERROR_CONNECT_FAILED,
                  channel_ + " manifest: " +
                      (results[0].transport_ok ? "HTTP " + std::to_string(results[0].status)
                                               : results[0].error));
    }
    manifest_text = std::move(results[0].body);
  }
  if (Sha256Hex(manifest_text) != pointer.manifest_sha256 ||
      manifest_text.size() != pointer.manifest_size) {
    return fail(CASTANET_ERROR_BAD_CONTENT, channel_ + ": manifest does not match its pointer");
  }
  if (!VerifySignedText(manifest_text, keys_, &body, &error)) {
    return fail(CASTANET_ERROR_BAD_SIGNATURE, channel_ + " manifest: " + error);
  }
  Manifest manifest;
  if (!ParseManifest(body, &manifest, &error)) return fail(CASTANET_ERROR_BAD_CONTENT, error);
  if (manifest.version != pointer.version || manifest.channel != pointer.channel) {
    return fail(CASTANET_ERROR_BAD_CONTENT, channel_ + ": manifest does not match its pointer");
  }

  // Everything checks out: remember it.
  WriteFileAtomically(cache, manifest_text, &error);
  if (result.status == 200) {
    WriteFileAtomically(state_.Path("pointer"), pointer_text, &error);
    WriteFileAtomically(state_.Path("pointer.etag"), result.etag + "\n", &error);
  }
  manifest_ = std::move(manifest);
  manifest_sha256_ = pointer.manifest_sha256;
  return true;
}

int Session::IsUpdateAvailable(uint32_t* bytes) {
  if (bytes) *bytes = 0;
  if (!OpenChannel() || !FetchChannel()) return 0;
  InstalledState installed;
  std::string error;
  state_.Load(&installed, &error);
  Plan plan;
  MakePlan(state_, installed, manifest_, manifest_sha256_, Profile(), false, &plan);
  if (plan.empty() && installed.manifest_sha256 == manifest_sha256_) return 0;
  uint64_t needed = std::min<uint64_t>(plan.transfer_bytes, INT32_MAX);
  if (bytes) *bytes = static_cast<uint32_t>(needed);
  Emit(CASTANET_UDPATE_AVAILABLE, std::to_string(needed) + " bytes");
  return 1;
}

int Session::Update(const std::string& profile_text, bool have_profile) {
  if (!OpenChannel()) return MRB_UPDATE_FAILED;
  if (!FetchChannel()) return cancelled_ ? MRB_UPDATE_CANCELED : MRB_UPDATE_FAILED;
  InstalledState installed;
  std::string error;
  state_.Load(&installed, &error);
  Profile profile = have_profile ? Profile::Parse(profile_text) : Profile();
  Plan plan;
  bool strict = (config_.options & MRB_OPTION_STRICT) != 0;
  MakePlan(state_, installed, manifest_, manifest_sha256_, profile, strict, &plan);
  if (plan.empty()) {
    if (installed.manifest_sha256 != manifest_sha256_ && !state_.Save(plan.next_state, &error)) {
      Fail(CASTANET_ERROR_BAD_STATE, error);
      return MRB_UPDATE_FAILED;
    }
    Emit(CASTANET_UPDATE_NO_CHANGES);
    Emit(CASTANET_UDPATE_DONE, channel_);
    return 0;
  }
  int result = Download(&plan);
  if (result != 0) return result;
  return Install(plan);
}

}  // namespace castanet
