#include "script/lib/http_response.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace script {
namespace {

// Hands out a response in pieces of `chunk` bytes, then reports a close (or an error).
class ScriptedReader : public ResponseReader {
 public:
  explicit ScriptedReader(std::string bytes, size_t chunk = 1 << 20, bool error_at_end = false)
      : bytes_(std::move(bytes)), chunk_(chunk), error_at_end_(error_at_end) {}
  int Receive(char* buffer, int size) override {
    ++receives;
    if (at_ == bytes_.size()) return error_at_end_ ? -1 : 0;
    size_t n = std::min({bytes_.size() - at_, chunk_, static_cast<size_t>(size)});
    bytes_.copy(buffer, n, at_);
    at_ += n;
    return static_cast<int>(n);
  }
  int receives = 0;

 private:
  std::string bytes_;
  size_t chunk_;
  bool error_at_end_;
  size_t at_ = 0;
};

struct Outcome {
  int result;
  std::optional<std::string> body;
  std::vector<std::string> header_lines;
  std::vector<uint32_t> percents;
  std::vector<std::string> followed;
};

Outcome Read(const std::string& response, size_t chunk = 1 << 20, size_t memory_limit = 1 << 20,
             int stop_at_call = -1) {
  Outcome outcome;
  ScriptedReader reader(response, chunk);
  HttpProgress progress = [&](uint32_t percent, const std::vector<std::string>* lines) {
    if (lines) outcome.header_lines = *lines;
    outcome.percents.push_back(percent);
    return static_cast<int>(outcome.percents.size()) == stop_at_call;
  };
  HttpTargets targets;
  targets.body_sink = &outcome.body;
  targets.progress = &progress;
  targets.memory_limit = memory_limit;
  outcome.result = ReadHttpResponse(reader, targets, [&](std::string_view location) {
    outcome.followed.emplace_back(location);
    return 7;
  });
  return outcome;
}

TEST(HttpResponse, LineEndsOfEveryKindEndTheHeader) {
  const char* kHeaders[] = {
      "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n",
      "HTTP/1.0 200 OK\nContent-Type: text/plain\n\n",
      "HTTP/1.0 200 OK\rContent-Type: text/plain\r\r",
      "HTTP/1.0 200 OK\n\rContent-Type: text/plain\n\r\n\r",
  };
  for (const char* header : kHeaders) {
    // Whole, and dripped a byte at a time so that every line end is split.
    for (size_t chunk : {size_t{1} << 20, size_t{1}}) {
      Outcome outcome = Read(std::string(header) + "body\n", chunk);
      SCOPED_TRACE(testing::Message() << header << " chunk " << chunk);
      EXPECT_EQ(outcome.result, kHttpOk);
      EXPECT_EQ(outcome.body, "body\n");
      EXPECT_EQ(outcome.header_lines,
                (std::vector<std::string>{"HTTP/1.0 200 OK", "Content-Type: text/plain"}));
    }
  }
}

TEST(HttpResponse, StatusLineDecidesWhetherToGoOn) {
  EXPECT_EQ(Read("HTTP/1.0 404 Not Found\r\n\r\nmissing").result, kHttpFailed);
  EXPECT_EQ(Read("http/1.1   503 Busy\r\n\r\n").result, kHttpFailed);
  EXPECT_EQ(Read("HTTP/1.0 301 Moved\r\n\r\nx").body, "x");  // no Location: a body
  // Not HTTP at all, or no status code: success without a body.
  for (const char* odd : {"<html>hello</html>", "\x89PNG\r\n\x1a\n", "HTTP/1.0\r\n\r\nbody",
                          "HTTP/1.0 OK\r\n\r\nbody", "\r\n\r\n"}) {
    Outcome outcome = Read(odd);
    EXPECT_EQ(outcome.result, kHttpOk) << odd;
    EXPECT_FALSE(outcome.body) << odd;
    EXPECT_TRUE(outcome.percents.empty()) << odd;
  }
  // Nothing at all, or cut inside the status line or header: a failed transfer.
  for (const char* cut : {"", "HTT", "HTTP/1.0 200 OK", "HTTP/1.0 200 OK\r\nServer: x\r\n"}) {
    EXPECT_EQ(Read(cut).result, kHttpFailed) << cut;
  }
}

TEST(HttpResponse, ContentLengthBoundsTheBody) {
  Outcome exact = Read("HTTP/1.0 200 OK\r\ncontent-LENGTH:   5\r\n\r\nhello, and more", 3);
  EXPECT_EQ(exact.result, kHttpOk);
  EXPECT_EQ(exact.body, "hello");
  EXPECT_EQ(exact.percents.front(), 0u);
  EXPECT_EQ(exact.percents.back(), 100u);

  Outcome empty = Read("HTTP/1.0 200 OK\r\nContent-length: 0\r\n\r\nignored");
  EXPECT_EQ(empty.body, "");

  // Closed before the length promised: never a truncated document.
  EXPECT_EQ(Read("HTTP/1.0 200 OK\r\nContent-length: 10\r\n\r\nhello").result, kHttpFailed);

  // Unknown length, or one that means nothing: read until the server closes.
  for (const char* length : {"", "Content-length: abc\r\n", "Content-length: -3\r\n"}) {
    Outcome outcome = Read(std::string("HTTP/1.0 200 OK\r\n") + length + "\r\nto the end", 4);
    EXPECT_EQ(outcome.body, "to the end") << length;
    EXPECT_EQ(outcome.percents, (std::vector<uint32_t>{0, 100})) << length;
  }
}

TEST(HttpResponse, MemoryBodiesStayWithinTheLimit) {
  // A huge claimed length is refused before anything is allocated for it.
  Outcome claimed = Read("HTTP/1.0 200 OK\r\nContent-length: 99999999999999\r\n\r\nx", 1 << 20, 64);
  EXPECT_EQ(claimed.result, kHttpFailed);
  std::string big(100, 'b');
  EXPECT_EQ(Read("HTTP/1.0 200 OK\r\n\r\n" + big, 7, 64).result, kHttpFailed);
  EXPECT_EQ(Read("HTTP/1.0 200 OK\r\n\r\n" + big.substr(0, 64), 7, 64).body, big.substr(0, 64));
}

TEST(HttpResponse, OversizedHeadersFail) {
  std::string long_line =
      "HTTP/1.0 200 OK\r\nX-Long: " + std::string(kHttpBufferSize, 'x') + "\r\n\r\n";
  EXPECT_EQ(Read(long_line, 100).result, kHttpFailed);
  std::string many = "HTTP/1.0 200 OK\r\n";
  while (many.size() <= 2 * kMaxHttpHeader) many += "X-Filler: " + std::string(100, 'f') + "\r\n";
  EXPECT_EQ(Read(many + "\r\nbody", 1000).result, kHttpFailed);
  // A long header of short lines below the limit arrives over many reads and is kept
  // whole.
  std::string fine = "HTTP/1.0 200 OK\r\n";
  for (int i = 0; i < 200; ++i) fine += "X-Line-" + std::to_string(i) + ": v\r\n";
  Outcome outcome = Read(fine + "\r\nbody", 333);
  EXPECT_EQ(outcome.body, "body");
  EXPECT_EQ(outcome.header_lines.size(), 201u);
}

TEST(HttpResponse, LocationIsFollowedWhateverTheStatus) {
  for (const char* status : {"302 Found", "200 OK"}) {
    Outcome outcome =
        Read(std::string("HTTP/1.0 ") + status + "\r\nLocation:  http://elsewhere/x y\r\n\r\nbody");
    EXPECT_EQ(outcome.result, 7);  // the redirected fetch's result
    EXPECT_EQ(outcome.followed, std::vector<std::string>{"http://elsewhere/x"});
    EXPECT_FALSE(outcome.body);
    EXPECT_TRUE(outcome.percents.empty());
  }
  Outcome empty_location = Read("HTTP/1.0 200 OK\r\nLocation:\r\n\r\nbody");
  EXPECT_TRUE(empty_location.followed.empty());
  EXPECT_EQ(empty_location.body, "body");
  // An error status wins over a Location after it.
  EXPECT_EQ(Read("HTTP/1.0 404 No\r\nLocation: http://x/\r\n\r\n").followed.size(), 0u);
}

TEST(HttpResponse, ProgressCanStopTheTransfer) {
  const std::string response =
      "HTTP/1.0 200 OK\r\nContent-length: 12\r\n\r\n"
      "abcdefghijkl";
  Outcome at_header = Read(response, 1 << 20, 1 << 20, 1);
  EXPECT_EQ(at_header.result, kHttpFailed);
  EXPECT_FALSE(at_header.body);
  Outcome midway = Read(response, 45, 1 << 20, 2);  // header + 5 bytes, then a stop
  EXPECT_EQ(midway.result, kHttpFailed);
  EXPECT_FALSE(midway.body);
}

TEST(HttpResponse, FileBodiesAndHeadRequests) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  ScriptedReader reader(
      "HTTP/1.0 200 OK\r\nContent-length: 20000\r\n\r\n" + std::string(20000, 'z'), 1000);
  std::vector<uint32_t> percents;
  HttpProgress progress = [&](uint32_t percent, const std::vector<std::string>*) {
    percents.push_back(percent);
    return false;
  };
  HttpTargets targets;
  targets.file = file;
  targets.progress = &progress;
  EXPECT_EQ(ReadHttpResponse(reader, targets, nullptr), kHttpOk);
  EXPECT_EQ(std::ftell(file), 20000);
  EXPECT_EQ(percents.front(), 0u);
  EXPECT_EQ(percents.back(), 100u);
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
  std::fclose(file);

  // HEAD: the length describes a body that never comes.
  ScriptedReader head("HTTP/1.0 200 OK\r\nContent-length: 500\r\n\r\n");
  std::optional<std::string> body;
  HttpTargets head_targets;
  head_targets.body_sink = &body;
  head_targets.head = true;
  EXPECT_EQ(ReadHttpResponse(head, head_targets, nullptr), kHttpOk);
  EXPECT_EQ(body, "");
}

TEST(HttpResponse, ReceiveErrorsFail) {
  ScriptedReader reader("HTTP/1.0 200 OK\r\n\r\npartial", 4, true);
  std::optional<std::string> body;
  HttpTargets targets;
  targets.body_sink = &body;
  EXPECT_EQ(ReadHttpResponse(reader, targets, nullptr), kHttpFailed);
  EXPECT_FALSE(body);
}

TEST(HttpResponse, PercentDone) {
  EXPECT_EQ(HttpPercentDone(50, 200, true), 25u);
  // Past 42,949,673 bytes the product no longer fits 32 bits: still right.
  EXPECT_EQ(HttpPercentDone(3'000'000'000ull, 4'000'000'000ull, true), 75u);
  EXPECT_EQ(HttpPercentDone(3'000'000'000ull, 0, false), 0u);
}

}  // namespace
}  // namespace script
