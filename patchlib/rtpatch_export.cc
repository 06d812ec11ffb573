// The export of patchw32.dll: turns the applier's reports into callback messages.
#include <string>

#include "patchlib/apply.h"
#include "patchlib/rtpatch.h"

namespace patchlib {
namespace {

class CallbackObserver : public ApplyObserver {
 public:
  explicit CallbackObserver(RTPatchCallback callback) : callback_(callback) {}
  bool TotalFiles(std::uint32_t count) override { return Send(kMessageTotalFiles, &count); }
  bool NewFile(const std::string& name) override {
    last_progress_ = 0xFFFFFFFF;
    return Send(kMessageNewFile, const_cast<char*>(name.c_str()));
  }
  bool Progress(std::uint32_t done) override {
    // Only changes are worth a call; the last value of every file is always sent.
    if (done == last_progress_ && done != 32768) return true;
    last_progress_ = done;
    return Send(kMessageProgress, &done);
  }
  bool Error(const std::string& text) override {
    return Send(kMessageError, const_cast<char*>(text.c_str()));
  }
  bool InvalidPatch() override { return Send(kMessageInvalidPatch, nullptr); }

 private:
  bool Send(std::uint32_t message, void* parameter) {
    return callback_ == nullptr || callback_(message, parameter) != nullptr;
  }
  RTPatchCallback callback_;
  std::uint32_t last_progress_ = 0xFFFFFFFF;
};

}  // namespace
}  // namespace patchlib

extern "C" __attribute__((visibility("default"))) std::uint32_t RTPatchApply32(
    const char* command_line, patchlib::RTPatchCallback callback, std::int32_t wait) {
  (void)wait;  // the call always runs to its end before it returns
  patchlib::CallbackObserver observer(callback);
  patchlib::ApplyOptions options;
  if (command_line == nullptr || !patchlib::ParseCommandLine(command_line, &options)) {
    observer.Error("Usage: [/CHECK] patch-file [target-folder]");
    return patchlib::kBadCommandLine;
  }
  return patchlib::ApplyPatchFile(options, observer);
}
