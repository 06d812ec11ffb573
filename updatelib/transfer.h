// HTTP transfers for the library over libcurl. One connection pool serves the whole
// process, so sessions one after the other reuse their keep-alive connections; several
// requests run at once; downloads into files resume from what is already there.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace castanet {

struct TransferSettings {
  std::string user_agent;
  std::string credentials;  // "user:password" or empty
  std::string log_header;   // value of the request-log header, or empty
  std::string proxy;        // curl proxy URL, or empty for a direct connection
  long connect_timeout_seconds = 20;
  long stall_timeout_seconds = 60;  // a transfer slower than 1 byte/s for this long fails
  int parallel = 4;
};

struct HttpRequest {
  std::string url;
  std::string file;           // download into this file; empty: into HttpResult::body
  bool resume = false;        // append to what the file holds (Range request)
  uint64_t max_bytes = 0;     // refuse a body longer than this (0: 64 KiB into memory)
  std::string if_none_match;  // ETag for a conditional request
};

struct HttpResult {
  bool transport_ok = false;  // a complete HTTP response arrived
  bool connected = false;     // a connection to the server was made
  long status = 0;
  std::string body;
  std::string etag;
  uint64_t file_size = 0;  // bytes in the file afterwards
  int write_errno = 0;     // the file could not be written
  bool too_long = false;   // the body exceeded max_bytes
  bool aborted = false;    // the progress callback asked to stop
  std::string error;       // readable reason for a failure
};

class TransferObserver {
 public:
  virtual ~TransferObserver() = default;
  // The first connection of this transfer set was made (once).
  virtual bool OnConnected() = 0;
  // The first response began to arrive (once).
  virtual bool OnResponse() = 0;
  // Body bytes arrived for request index; false stops every transfer.
  virtual bool OnBytes(size_t index, uint64_t bytes) = 0;
  // A request started (index).
  virtual bool OnStart(size_t index) = 0;
  // A request ended (completed or failed); the observer may take the body.
  virtual void OnDone(size_t index, HttpResult* result) = 0;
};

// Runs requests, at most settings.parallel at a time; results[i] answers requests[i].
void RunTransfers(const TransferSettings& settings, const std::vector<HttpRequest>& requests,
                  TransferObserver* observer, std::vector<HttpResult>* results);

// Where a session's transfers go: libcurl, or a server that a test keeps in memory.
class HttpClient {
 public:
  virtual ~HttpClient() = default;
  // As RunTransfers.
  virtual void Run(const TransferSettings& settings, const std::vector<HttpRequest>& requests,
                   TransferObserver* observer, std::vector<HttpResult>* results) = 0;
};

// The client over RunTransfers, for every session that is given no other.
HttpClient& CurlHttpClient();

// True for a write failure that means the disk (or the file size limit) is full.
bool IsDiskFullErrno(int error_number);

}  // namespace castanet
