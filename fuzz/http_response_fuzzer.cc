// HTTP responses as a server might send them, cut into receives of varying sizes: the
// reader must end every one in order, keep memory bodies within their limit and never
// report a body for a failed transfer.
//
// Input: byte 0 picks the targets (bit 0: a file instead of memory, bit 1: HEAD, bit
// 2: a progress body, bits 3-7: the receive that the progress body stops at, 0 for
// none); byte 1 seeds the receive sizes; the rest is the response.
#include <cstdio>
#include <optional>
#include <string>

#include "fuzz/fuzz_input.h"
#include "script/lib/http_response.h"

namespace {

class FuzzReader : public script::ResponseReader {
 public:
  FuzzReader(std::string_view bytes, unsigned seed) : bytes_(bytes), seed_(seed | 1) {}
  int Receive(char* buffer, int size) override {
    if (bytes_.empty()) return 0;
    seed_ = seed_ * 1103515245u + 12345u;
    size_t n = 1 + (seed_ >> 16) % 700;
    n = std::min({n, bytes_.size(), static_cast<size_t>(size)});
    bytes_.copy(buffer, n);
    bytes_.remove_prefix(n);
    return static_cast<int>(n);
  }

 private:
  std::string_view bytes_;
  unsigned seed_;
};

constexpr int kFollowed = 4;  // what the pretend redirected fetch answers

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return -1;
  const unsigned mode = data[0];
  FuzzReader reader(fuzz::AsText(data + 2, size - 2), data[1]);

  static std::FILE* sink = std::fopen("/dev/null", "wb");
  std::optional<std::string> body;
  script::HttpTargets targets;
  targets.memory_limit = 8192;
  targets.head = mode & 2;
  if (mode & 1) {
    targets.file = sink;
  } else {
    targets.body_sink = &body;
  }
  unsigned calls = 0;
  const unsigned stop_at = mode >> 3;
  uint32_t last_percent = 0;
  script::HttpProgress progress = [&](uint32_t percent, const std::vector<std::string>* lines) {
    fuzz::Require(percent <= 100, "percent above 100");
    fuzz::Require(lines == nullptr || !lines->empty(), "header without its status line");
    fuzz::Require(lines != nullptr || percent >= last_percent, "percent went backwards");
    last_percent = percent;
    return ++calls == stop_at;
  };
  if (mode & 4) targets.progress = &progress;

  int result = script::ReadHttpResponse(reader, targets, [](std::string_view location) {
    fuzz::Require(!location.empty(), "followed an empty Location");
    return kFollowed;
  });
  fuzz::Require(result == script::kHttpOk || result == script::kHttpFailed || result == kFollowed,
                "unexpected result");
  if (result != script::kHttpOk) fuzz::Require(!body, "a body from a failed transfer");
  if (body) fuzz::Require(body->size() <= targets.memory_limit, "body past the memory limit");
  return 0;
}
