// Downloading what an update needs into the holding area: several objects at once,
// partial downloads resumed, each object decoded and checked before it counts as held.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "updatelib/channel/file_io.h"
#include "updatelib/channel/system_calls.h"
#include "updatelib/channel/zstd_codec.h"
#include "updatelib/session.h"
#include "updatelib/session_observer.h"

namespace castanet {
namespace {

constexpr int kTransferRounds = 4;

uint64_t FileSizeOr0(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

// Everything of the download is here: decoded (in memory) or all bytes in its file.
bool Complete(const PlannedDownload& download) {
  return download.in_memory ? download.memory_result == 0
                            : FileSizeOr0(download.part_file) == download.stored_size;
}

}  // namespace

// Turns transfer progress into transfer and percent events.
class DownloadObserver : public SessionTransferObserver {
 public:
  DownloadObserver(Session* session, uint64_t total)
      : SessionTransferObserver(session), total_(total) {}

  void SetBatch(std::vector<PlannedDownload*> batch) { batch_ = std::move(batch); }

  bool OnStart(size_t index) override {
    if (session_->Emit(CASTANET_UPDATE_TRANSFER, batch_[index]->display_path) != 0) return false;
    if (!started_) {
      started_ = true;
      return Report(true);
    }
    return true;
  }

  void OnDone(size_t index, HttpResult* result) override {
    PlannedDownload* download = batch_[index];
    if (!download->in_memory || !result->transport_ok || result->status != 200 ||
        result->too_long || result->body.size() != download->stored_size) {
      return;
    }
    download->memory_result = session_->DecodeDownload(*download, result->body);
    // Give the memory back now: assigning an empty string would keep its capacity, and
    // every object of the update would stay in memory until the end.
    std::string().swap(result->body);
  }

  bool OnBytes(size_t, uint64_t bytes) override {
    received_ += bytes;
    return Report(false);
  }

  bool Finish() {
    received_ = total_;
    return Report(false);
  }

 private:
  bool Report(bool force) {
    int percent =
        total_ == 0 ? 100 : static_cast<int>(std::min<uint64_t>(received_, total_) * 100 / total_);
    if (!force && percent == last_percent_) return true;
    last_percent_ = percent;
    return session_->Emit(CASTANET_PROGRESS_UPDATE, std::to_string(received_)) == 0 &&
           session_->Emit(CASTANET_PROGRESS_PERCENT, std::to_string(percent) + "%") == 0;
  }

  uint64_t total_;
  uint64_t received_ = 0;
  int last_percent_ = -1;
  bool started_ = false;
  std::vector<PlannedDownload*> batch_;
};

int Session::Download(Plan* plan) {
  DownloadObserver observer(this, plan->transfer_bytes);
  TransferSettings settings = MakeTransferSettings();
  std::vector<PlannedDownload*> pending;
  for (PlannedDownload& download : plan->downloads) pending.push_back(&download);

  while (!pending.empty()) {
    std::string last_error;
    bool ever_connected = connected_reported_;
    for (int round = 0; round < kTransferRounds; round++) {
      std::vector<HttpRequest> requests;
      std::vector<PlannedDownload*> batch;
      for (PlannedDownload* download : pending) {
        // A download that was complete when a kill came needs no request at all.
        if (Complete(*download)) continue;
        HttpRequest request;
        request.url = base_url_ + download->url_path;
        request.file = download->in_memory ? "" : download->part_file;
        request.resume = !download->in_memory;
        request.max_bytes = download->stored_size;
        requests.push_back(request);
        batch.push_back(download);
      }
      if (requests.empty()) break;
      // A short pause before each retry lets a restarting server or network recover.
      if (round > 0) std::this_thread::sleep_for(std::chrono::milliseconds(250 * round));
      observer.SetBatch(batch);
      std::vector<HttpResult> results;
      http_->Run(settings, requests, &observer, &results);
      for (size_t i = 0; i < results.size(); i++) {
        const HttpResult& result = results[i];
        const PlannedDownload& download = *batch[i];
        ever_connected = ever_connected || result.connected;
        if (result.aborted) {
          cancelled_ = true;
          return MRB_UPDATE_CANCELED;
        }
        if (result.write_errno) {
          Fail(IsDiskFullErrno(result.write_errno) ? CASTANET_ERROR_DISK_FULL
                                                   : CASTANET_ERROR_BAD_STATE,
               download.display_path);
          return MRB_UPDATE_FAILED;
        }
        if (result.too_long) {
          Sys().unlink(download.part_file.c_str());
          Fail(CASTANET_ERROR_BAD_CONTENT, download.display_path);
          return MRB_UPDATE_FAILED;
        }
        if (download.memory_result > 0) {
          if (download.memory_result == 2) Fail(CASTANET_ERROR_BAD_CONTENT, download.display_path);
          return MRB_UPDATE_FAILED;
        }
        if (!result.transport_ok) {
          last_error = result.error;
          continue;  // resumed in the next round
        }
        if (result.status == 401 || result.status == 403) {
          Fail(CASTANET_ERROR_WRONG_PASSWD, channel_);
          return MRB_UPDATE_FAILED;
        }
        if (result.status == 404) {
          Fail(CASTANET_ERROR_SERVER, download.url_path + " is missing on the server");
          return MRB_UPDATE_FAILED;
        }
        if (result.status == 416) {
          Sys().unlink(download.part_file.c_str());  // more than the object: start again
        }
        if (result.status != 200 && result.status != 206) {
          last_error = "HTTP " + std::to_string(result.status);
        }
      }
    }
    for (PlannedDownload* download : pending) {
      if (!Complete(*download)) {
        Fail(ever_connected ? CASTANET_ERROR_SERVER : CASTANET_ERROR_CONNECT_FAILED,
             download->display_path + ": " + last_error);
        return MRB_UPDATE_FAILED;
      }
    }

    // Decode. A patch that does not give the expected file falls back to the object,
    // once: a bad patch can cost one extra download, never a loop.
    std::vector<PlannedDownload*> retry;
    for (PlannedDownload* download : pending) {
      if (download->in_memory) continue;  // decoded as it arrived
      int result = DecodeDownload(*download);
      if (result == 0) continue;
      if (result == 2 && download->patch) {
        download->patch = false;
        download->url_path = BlobPath(download->sha256);
        download->part_file = state_.HoldingPath(download->sha256 + ".part");
        for (const PlannedInstall& install : plan->installs) {
          if (install.file.sha256 == download->sha256)
            download->stored_size = install.file.stored_size;
        }
        retry.push_back(download);
        continue;
      }
      if (result == 2) Fail(CASTANET_ERROR_BAD_CONTENT, download->display_path);
      return MRB_UPDATE_FAILED;
    }
    pending = retry;
  }
  if (!observer.Finish()) {
    cancelled_ = true;
    return MRB_UPDATE_CANCELED;
  }
  return 0;
}

// 0 when the contents are held; 1 after an error event; 2 when the download was bad
// (it is deleted).
int Session::DecodeDownload(const PlannedDownload& download, std::string_view data) {
  std::string held = state_.HoldingPath(download.sha256);
  std::string temporary = held + ".tmp";
  CodecStatus status;
  if (download.in_memory) {
    status = DecompressObjectData(data, temporary, download.size, download.sha256);
  } else if (download.patch) {
    status = ApplyPatch(download.base_path, download.from_sha256, download.part_file, temporary,
                        download.size, download.sha256);
  } else {
    status = DecompressObject(download.part_file, temporary, download.size, download.sha256);
  }
  if (status.ok()) {
    if (Sys().rename(temporary.c_str(), held.c_str()) != 0) {
      Fail(CASTANET_ERROR_RENAME_FAILED, download.display_path);
      return 1;
    }
    // An object that came into memory never had a part file: no need to ask for one.
    if (!download.in_memory) Sys().unlink(download.part_file.c_str());
    return 0;
  }
  Sys().unlink(temporary.c_str());
  if (status.result == CodecResult::kWriteError) {
    Fail(IsDiskFullErrno(status.errno_value) ? CASTANET_ERROR_DISK_FULL : CASTANET_ERROR_BAD_STATE,
         download.display_path);
    return 1;
  }
  // Bad data, or a patch base that changed since the plan was made.
  Sys().unlink(download.part_file.c_str());
  return 2;
}

}  // namespace castanet
