// Reading an HTTP/1.0 response: status line, header lines, body.
//
// A line ends at CR or LF; a directly following character of the other kind belongs to
// the same line end (CR LF, LF CR). A repeated CR or LF is an empty line, so servers
// that end lines with LF alone, or CR alone, still end their header with a blank line.
// A line end that arrives as the last byte of one receive is completed by the first
// byte of the next, so a server that drips its response byte by byte reads alike.
#include "script/lib/http_response.h"

#include <algorithm>
#include <cstring>

#include "platform/ascii.h"

namespace script {
namespace {

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The response buffer and the header lines taken from it.
class HeaderReader {
 public:
  explicit HeaderReader(ResponseReader& reader) : reader_(reader) {}

  enum Next { kLine, kEnded, kTooLong };

  // Receives until at least `count` bytes are buffered; false when the peer closed or
  // failed first.
  bool Buffer(size_t count) {
    while (end_ - start_ < count) {
      if (!Receive()) return false;
    }
    return true;
  }
  std::string_view Buffered() const { return {buffer_ + start_, end_ - start_}; }

  // The next complete line (valid until the next call), or why there is none.
  Next NextLine(std::string_view* line) {
    for (;;) {
      DropPendingPartner();
      for (size_t i = start_; i < end_; ++i) {
        if (!IsLineEnd(buffer_[i])) continue;
        *line = std::string_view(buffer_ + start_, i - start_);
        size_t next = i + 1;
        if (next == end_) {
          pending_end_ = buffer_[i];
        } else if (IsLineEnd(buffer_[next]) && buffer_[next] != buffer_[i]) {
          ++next;
        }
        start_ = next;
        return kLine;
      }
      if (start_ == 0 && end_ == sizeof buffer_) return kTooLong;
      if (!Receive()) return kEnded;
    }
  }

  // After the blank line: the bytes already received belong to the body, once the
  // second half of a line end split over two receives is dropped. False when the peer
  // failed while that was being found out.
  bool StartBody() {
    if (pending_end_ != 0 && start_ == end_ && !Receive()) return !failed_;
    DropPendingPartner();
    return true;
  }

  ResponseReader& reader() { return reader_; }
  char* buffer() { return buffer_; }

 private:
  bool Receive() {
    if (start_ > 0) {
      std::memmove(buffer_, buffer_ + start_, end_ - start_);
      end_ -= start_;
      start_ = 0;
    }
    int received = reader_.Receive(buffer_ + end_, static_cast<int>(sizeof buffer_ - end_));
    if (received <= 0) {
      failed_ = received < 0;
      return false;
    }
    end_ += std::min(static_cast<size_t>(received), sizeof buffer_ - end_);
    return true;
  }

  void DropPendingPartner() {
    if (pending_end_ == 0 || start_ == end_) return;
    if (IsLineEnd(buffer_[start_]) && buffer_[start_] != pending_end_) ++start_;
    pending_end_ = 0;
  }

  ResponseReader& reader_;
  char buffer_[kHttpBufferSize];
  size_t start_ = 0;
  size_t end_ = 0;
  char pending_end_ = 0;
  bool failed_ = false;
};

// What the status line says.
enum class Status { kGoOn, kFailed, kNoCode };

Status ReadStatus(std::string_view line) {
  size_t i = 0;
  while (i < line.size() && !IsBlank(line[i])) ++i;
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i == line.size() || line[i] < '0' || line[i] > '9') return Status::kNoCode;
  return line[i] == '4' || line[i] == '5' ? Status::kFailed : Status::kGoOn;
}

// The value of a header line after its name, leading blanks skipped.
std::string_view HeaderValue(std::string_view line, size_t name_length) {
  line.remove_prefix(name_length);
  while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
  return line;
}

// A Content-length value: its leading decimal digits. None for a value without digits,
// a negative one or one too large to mean anything.
std::optional<uint64_t> ContentLength(std::string_view value) {
  if (!value.empty() && value.front() == '+') value.remove_prefix(1);
  uint64_t length = 0;
  size_t digits = 0;
  while (digits < value.size() && value[digits] >= '0' && value[digits] <= '9') {
    if (digits == 18) return std::nullopt;
    length = length * 10 + static_cast<uint64_t>(value[digits] - '0');
    ++digits;
  }
  if (digits == 0) return std::nullopt;
  return length;
}

bool Stop(const HttpTargets& targets, uint32_t percent) {
  return targets.progress && (*targets.progress)(percent, nullptr);
}

int ReadBodyToFile(HeaderReader& header, const HttpTargets& targets,
                   std::optional<uint64_t> length) {
  const bool known = length.has_value();
  uint64_t remaining = known ? *length : UINT64_MAX;
  std::string_view buffered = header.Buffered();
  size_t first = static_cast<size_t>(std::min<uint64_t>(buffered.size(), remaining));
  if (first > 0 && std::fwrite(buffered.data(), 1, first, targets.file) != first) {
    return kHttpFailed;
  }
  remaining -= first;
  uint64_t done = first;
  // Larger receives than the header's buffer: a download runs at the speed of the
  // connection, not of the calls.
  std::vector<char> chunk(kHttpFileChunk);
  while (remaining > 0) {
    if (Stop(targets, HttpPercentDone(done, known ? *length : 0, known))) return kHttpFailed;
    int want = static_cast<int>(std::min<uint64_t>(kHttpFileChunk, remaining));
    int received = header.reader().Receive(chunk.data(), want);
    if (received < 0) return kHttpFailed;
    if (received == 0) {
      if (known) return kHttpFailed;  // cut short: the file would be incomplete
      break;
    }
    size_t n = static_cast<size_t>(std::min(received, want));
    if (std::fwrite(chunk.data(), 1, n, targets.file) != n) return kHttpFailed;
    remaining -= n;
    done += n;
  }
  return std::fflush(targets.file) == 0 ? kHttpOk : kHttpFailed;
}

int ReadBodyToMemory(HeaderReader& header, const HttpTargets& targets,
                     std::optional<uint64_t> length, std::string* body) {
  // The block grows with what arrives: a claimed length is never allocated up front.
  std::string_view buffered = header.Buffered();
  if (length) {
    if (*length > targets.memory_limit) return kHttpFailed;
    size_t wanted = static_cast<size_t>(*length);
    body->assign(buffered.substr(0, std::min(buffered.size(), wanted)));
    while (body->size() < wanted) {
      size_t had = body->size();
      size_t chunk = std::min<size_t>(wanted - had, 64 * 1024);
      body->resize(had + chunk);
      int received = header.reader().Receive(body->data() + had, static_cast<int>(chunk));
      body->resize(had + static_cast<size_t>(std::clamp(received, 0, static_cast<int>(chunk))));
      if (received <= 0) return kHttpFailed;  // an error, or cut short
      if (Stop(targets, HttpPercentDone(body->size(), wanted, true))) return kHttpFailed;
    }
    return kHttpOk;
  }
  body->assign(buffered);
  char* chunk = header.buffer();
  for (;;) {
    if (body->size() > targets.memory_limit) return kHttpFailed;
    int received = header.reader().Receive(chunk, static_cast<int>(kHttpBufferSize));
    if (received < 0) return kHttpFailed;
    if (received == 0) break;
    body->append(chunk, static_cast<size_t>(std::min<int>(received, kHttpBufferSize)));
  }
  return body->size() > targets.memory_limit ? kHttpFailed : kHttpOk;
}

}  // namespace

uint32_t HttpPercentDone(uint64_t done, uint64_t length, bool length_known) {
  if (!length_known || length == 0) return 0;
  return static_cast<uint32_t>(std::min<uint64_t>(done, length) * 100 / length);
}

int ReadHttpResponse(ResponseReader& reader, const HttpTargets& targets, const HttpFollow& follow) {
  HeaderReader header(reader);

  // The first bytes decide whether this is an HTTP response at all; an empty answer
  // or one cut inside "HTTP/" is a failed transfer.
  constexpr std::string_view kVersionPrefix = "HTTP/";
  for (;;) {
    std::string_view have = header.Buffered();
    std::string_view start = have.substr(0, std::min(have.size(), kVersionPrefix.size()));
    if (!platform::StartsWithIgnoreCase(kVersionPrefix, start)) return kHttpOk;
    if (have.size() >= kVersionPrefix.size()) break;
    if (!header.Buffer(have.size() + 1)) return kHttpFailed;
  }

  std::vector<std::string> lines;
  size_t header_size = 0;
  std::optional<uint64_t> length;
  for (;;) {
    std::string_view line;
    HeaderReader::Next next = header.NextLine(&line);
    if (next != HeaderReader::kLine) return kHttpFailed;  // too long, or no blank line
    if (lines.empty()) {
      Status status = ReadStatus(line);
      if (status == Status::kFailed) return kHttpFailed;
      if (status == Status::kNoCode) return kHttpOk;
    } else if (line.empty()) {
      break;
    } else if (platform::StartsWithIgnoreCase(line, "Content-length:")) {
      length = ContentLength(HeaderValue(line, 15));
    } else if (platform::StartsWithIgnoreCase(line, "Location:")) {
      std::string_view value = HeaderValue(line, 9);
      size_t end = 0;
      while (end < value.size() && !IsBlank(value[end])) ++end;
      if (end > 0) return follow(value.substr(0, end));
    }
    header_size += line.size() + 1;
    if (header_size > kMaxHttpHeader) return kHttpFailed;
    lines.emplace_back(line);
  }

  if (targets.header_sink) {
    targets.header_sink->clear();
    for (const std::string& line : lines) targets.header_sink->append(line).push_back('\0');
  }
  if (targets.progress && (*targets.progress)(0, &lines)) return kHttpFailed;
  if (targets.body_sink == nullptr && targets.file == nullptr) return kHttpOk;

  std::string body;
  if (!targets.head) {
    if (!header.StartBody()) return kHttpFailed;
    int result = targets.file ? ReadBodyToFile(header, targets, length)
                              : ReadBodyToMemory(header, targets, length, &body);
    if (result != kHttpOk) return result;
  }
  if (targets.progress) (*targets.progress)(100, nullptr);
  if (targets.body_sink) *targets.body_sink = std::move(body);
  return kHttpOk;
}

}  // namespace script
