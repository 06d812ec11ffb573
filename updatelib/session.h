// One library session: the state behind an MrbHandle. The calls of the C interface map
// one to one onto the public members; each returns the interface's result code.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "updatelib/castanet.h"
#include "updatelib/channel/manifest.h"
#include "updatelib/channel/pointer.h"
#include "updatelib/channel/signed_text.h"
#include "updatelib/channel_state.h"
#include "updatelib/plan.h"
#include "updatelib/transfer.h"

namespace castanet {

struct SessionConfig {
  std::string target;  // host path
  std::string channel_url;
  std::string user_agent;
  int32_t options = 0;
  MrbEventCallback event = nullptr;
  MrbTextCallback text = nullptr;
  MrbCredentialsCallback credentials = nullptr;
  // The trust root: the keys built into the library (key file text) and the host path
  // of a key file that may add more. Channels are refused when neither gives a key.
  std::string built_in_keys;
  std::string key_file;
  // Where transfers go; none: libcurl.
  HttpClient* http = nullptr;
};

class Session {
 public:
  // Null with *error when the record cannot be used (bad URL, no target, no callback).
  static std::unique_ptr<Session> Create(const SessionConfig& config, std::string* error);

  int AppendLog(const std::string& line);
  int IsPrepareNeeded();
  int Prepare(int mode);
  int Verify(int mode);
  int IsUpdateAvailable(uint32_t* bytes);
  int Update(const std::string& profile_text, bool have_profile);
  int LookupHoldingAreaFile(char* buffer, int32_t size);
  const char* GetProperty(const std::string& name);
  int RemoveProperty(const std::string& name);
  int Clean();

 private:
  Session(const SessionConfig& config, std::string channel, std::string base_url);

  // Sends an event; the callback's answer (0 go on, -1 refuse or stop).
  int Emit(int code, const std::string& text = std::string());
  // Sends an error event; always fails (returns false) so callers can return it.
  bool Fail(int code, const std::string& text);

  // Takes the channel lock and finishes an interrupted install. False after an error
  // event.
  bool OpenChannel();
  // Fetches and checks the pointer and manifest (once per session). False after an
  // error event (fetch_error_ holds its code) or a cancellation.
  bool FetchChannel();
  // The keys this channel trusts now: the library's, or the key set it rotated to.
  bool LoadTrustedKeys();
  // Installs the key sets a fetched pointer says it is signed with, each checked
  // against the one before. False after an error event.
  bool AdvanceKeySet(std::string_view pointer_text, const TransferSettings& settings);
  TransferSettings MakeTransferSettings();

  // Downloads and decodes everything the plan needs into the holding area. 0, or
  // MRB_UPDATE_FAILED / MRB_UPDATE_CANCELED after the events that say why.
  int Download(Plan* plan);
  // Decodes a download (from its file, or from data when it came into memory).
  int DecodeDownload(const PlannedDownload& download, std::string_view data = {});
  // Installs the planned files as one journalled transaction.
  int Install(const Plan& plan);

  SessionConfig config_;
  HttpClient* http_;
  std::string channel_;   // channel name: the path of the channel URL
  std::string base_url_;  // channel URL with one trailing '/'
  ChannelState state_;
  std::vector<std::string> log_lines_;

  TrustedKeys keys_;
  bool keys_loaded_ = false;
  bool keys_broken_ = false;
  std::string keys_error_;
  uint64_t keyset_version_ = 0;

  bool fetched_ = false;
  int fetch_error_ = 0;
  Manifest manifest_;
  std::string manifest_sha256_;

  bool connected_reported_ = false;
  bool response_reported_ = false;
  bool cancelled_ = false;
  std::map<std::string, std::string> staged_files_;  // PathKey -> host path of new version
  std::string property_value_;

  friend class SessionTransferObserver;
  friend class DownloadObserver;
};

}  // namespace castanet
