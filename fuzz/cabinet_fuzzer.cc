// The cabinet reader: any bytes as a cabinet (and as every cabinet it names as its
// next) end in an orderly result, and a file reported complete has its stored size.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "cab/cabinet.h"
#include "fuzz/fuzz_input.h"

namespace {

constexpr size_t kMaxOutput = 64u << 20;

class CountingOutput : public cab::Output {
 public:
  bool Write(const void*, size_t size) override {
    written += size;
    return written <= kMaxOutput;
  }
  size_t written = 0;
};

// Takes every file; a next cabinet is the same input again, which a reader must notice.
class TakeAll : public cab::ExtractHandler {
 public:
  explicit TakeAll(std::string path) : path_(std::move(path)) {}
  std::string ResolveCabinet(const std::string&, const std::string&) override { return path_; }
  bool OnCabinet(const cab::CabinetInfo&) override { return true; }
  bool OnPartialFile(const cab::StoredFile&, const cab::CabinetInfo&) override { return true; }
  bool OnCopyFile(const cab::StoredFile&, std::unique_ptr<cab::Output>* output) override {
    *output = std::make_unique<CountingOutput>();
    return true;
  }
  bool OnFileComplete(const cab::StoredFile& file, std::unique_ptr<cab::Output> output) override {
    fuzz::Require(static_cast<CountingOutput*>(output.get())->written == file.size,
                  "a completed file has its stored size");
    return true;
  }
  bool OnNextCabinet(const cab::CabinetInfo&, cab::NextCabinet*) override { return true; }

 private:
  std::string path_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/cabinet_fuzz_" + std::to_string(getpid()) +
           ".cab";
  }();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  TakeAll handler(path);
  cab::CabinetInfo info;
  cab::ReadCabinetInfo(path, &info);
  cab::Extract("", path, handler);
  std::remove(path.c_str());
  return 0;
}
