// The response side of the scripts' HTTP/1.0 client: reads the status line and header
// lines from a 4096-byte buffer, follows a Location at once, and delivers the body to
// a file or to memory with progress calls between receives. The bytes come through a
// small reader interface so that tests and the fuzz target can drive it without a
// socket.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace script {

// Results of a fetch.
enum HttpResult : int {
  kHttpOk = 0,
  kHttpFailed = 1,  // bad URL, a 4xx/5xx status, a stopped or failed transfer
  kHttpNoHost = 2,
  kHttpNoSocket = 3,
  kHttpNoConnection = 4,
  kHttpNotSent = 5,
};

inline constexpr size_t kHttpBufferSize = 4096;
// The most a file body takes in one receive.
inline constexpr size_t kHttpFileChunk = 64 * 1024;
// A header longer than this is refused: the lines are kept for the progress body.
inline constexpr size_t kMaxHttpHeader = 64 * 1024;
// Bodies held in memory (documents for scripts) are refused past this size; files have
// no limit.
inline constexpr size_t kMaxHttpBodyInMemory = 256u * 1024 * 1024;

// Where a response's bytes come from.
class ResponseReader {
 public:
  virtual ~ResponseReader() = default;
  // Up to `size` bytes into `buffer`: the count, 0 once the peer closed, -1 on error.
  virtual int Receive(char* buffer, int size) = 0;
};

// Called with the percent done and, once, the header lines (status line first); true
// asks to stop the transfer.
using HttpProgress =
    std::function<bool(uint32_t percent, const std::vector<std::string>* header_lines)>;

// Where the response goes: none, either or both of the sinks.
struct HttpTargets {
  std::string* header_sink = nullptr;               // the header lines, each ended by a zero byte
  std::optional<std::string>* body_sink = nullptr;  // set when a body was read
  std::FILE* file = nullptr;
  const HttpProgress* progress = nullptr;
  bool head = false;  // a HEAD response has no body to read
  size_t memory_limit = kMaxHttpBodyInMemory;
};

// Fetches the value of a Location header; its result becomes the response's result.
using HttpFollow = std::function<int(std::string_view location)>;

// Reads one response. A connection that closes before the blank line ending the
// header, or before the Content-length promised, is a failed transfer.
int ReadHttpResponse(ResponseReader& reader, const HttpTargets& targets, const HttpFollow& follow);

// The percent a progress body sees: 0 while the length is unknown.
uint32_t HttpPercentDone(uint64_t done, uint64_t length, bool length_known);

}  // namespace script
