// libcurl transfers. A process-wide multi handle keeps the connection cache alive from
// one library session to the next; every call takes its lock, since the updater may run
// its passes on different threads one after the other.
#include "updatelib/transfer.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/ascii.h"
#include "updatelib/channel/file_io.h"
#include "updatelib/channel/system_calls.h"

namespace castanet {
namespace {

constexpr uint64_t kDefaultMemoryLimit = 64 * 1024;

class ConnectionPool {
 public:
  ConnectionPool() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    multi_ = curl_multi_init();
  }
  ~ConnectionPool() {
    curl_multi_cleanup(multi_);
    curl_global_cleanup();
  }
  CURLM* multi() { return multi_; }
  std::mutex& mutex() { return mutex_; }

 private:
  CURLM* multi_;
  std::mutex mutex_;
};

ConnectionPool& Pool() {
  static ConnectionPool pool;
  return pool;
}

struct Job {
  size_t index = 0;
  const HttpRequest* request = nullptr;
  HttpResult* result = nullptr;
  TransferObserver* observer = nullptr;
  bool* stop = nullptr;
  CURL* easy = nullptr;
  curl_slist* headers = nullptr;
  int fd = -1;
  uint64_t start_offset = 0;
  bool status_checked = false;
  bool* connected_reported = nullptr;
  bool* response_reported = nullptr;
};

// Called when the response status is known, before the first body byte is stored.
bool PrepareBody(Job* job) {
  job->status_checked = true;
  long status = 0;
  curl_easy_getinfo(job->easy, CURLINFO_RESPONSE_CODE, &status);
  job->result->status = status;
  if (job->fd < 0) return true;
  if (status == 200 && job->start_offset > 0) {
    // The server ignored the range: start the file again.
    if (ftruncate(job->fd, 0) != 0 || lseek(job->fd, 0, SEEK_SET) != 0) {
      job->result->write_errno = errno;
      return false;
    }
    job->start_offset = 0;
  }
  return true;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  Job* job = static_cast<Job*>(user);
  size_t length = size * count;
  if (!job->status_checked && !PrepareBody(job)) return 0;
  long status = job->result->status;
  bool wanted = status == 200 || status == 206;
  uint64_t limit = job->request->max_bytes ? job->request->max_bytes : kDefaultMemoryLimit;
  if (!wanted) {
    // Error pages are kept short and never written into the file.
    if (job->result->body.size() < 4096)
      job->result->body.append(data, std::min<size_t>(length, 4096));
    return length;
  }
  if (job->fd >= 0) {
    if (job->start_offset + job->result->file_size + length > limit) {
      job->result->too_long = true;
      return 0;
    }
    if (!WriteAll(job->fd, data, length)) {
      job->result->write_errno = errno;
      return 0;
    }
    job->result->file_size += length;
  } else {
    if (job->result->body.size() + length > limit) {
      job->result->too_long = true;
      return 0;
    }
    job->result->body.append(data, length);
  }
  if (!job->observer->OnBytes(job->index, length)) {
    job->result->aborted = true;
    *job->stop = true;
    return 0;
  }
  return length;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  Job* job = static_cast<Job*>(user);
  size_t length = size * count;
  if (!*job->response_reported) {
    *job->response_reported = true;
    if (!job->observer->OnResponse()) {
      job->result->aborted = true;
      *job->stop = true;
      return 0;
    }
  }
  std::string line(data, length);
  if (line.size() > 5 && platform::StartsWithIgnoreCase(line, "etag:")) {
    size_t start = line.find_first_not_of(" \t", 5);
    size_t end = line.find_last_not_of(" \t\r\n");
    if (start != std::string::npos && end != std::string::npos && end >= start) {
      job->result->etag = line.substr(start, end - start + 1);
    }
  }
  return length;
}

int OnPrerequest(void* user, char*, char*, int, int) {
  Job* job = static_cast<Job*>(user);
  job->result->connected = true;
  if (!*job->connected_reported) {
    *job->connected_reported = true;
    if (!job->observer->OnConnected()) {
      job->result->aborted = true;
      *job->stop = true;
      return CURL_PREREQFUNC_ABORT;
    }
  }
  return CURL_PREREQFUNC_OK;
}

bool StartJob(const TransferSettings& settings, Job* job) {
  const HttpRequest& request = *job->request;
  if (!request.file.empty()) {
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (request.resume ? O_APPEND : O_TRUNC);
    job->fd = Sys().open(request.file.c_str(), flags, 0644);
    if (job->fd < 0) {
      job->result->write_errno = errno;
      job->result->error = request.file + ": " + std::strerror(errno);
      return false;
    }
    struct stat info;
    if (request.resume && fstat(job->fd, &info) == 0) job->start_offset = info.st_size;
  }
  CURL* easy = job->easy = curl_easy_init();
  curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(easy, CURLOPT_PRIVATE, job);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, job);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, job);
  curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, OnPrerequest);
  curl_easy_setopt(easy, CURLOPT_PREREQDATA, job);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, settings.connect_timeout_seconds);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, settings.stall_timeout_seconds);
  curl_easy_setopt(easy, CURLOPT_PROXY, settings.proxy.c_str());
  if (!settings.user_agent.empty()) {
    curl_easy_setopt(easy, CURLOPT_USERAGENT, settings.user_agent.c_str());
  }
  if (!settings.credentials.empty()) {
    curl_easy_setopt(easy, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
    curl_easy_setopt(easy, CURLOPT_USERPWD, settings.credentials.c_str());
  }
  if (job->start_offset > 0) {
    curl_easy_setopt(easy, CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(job->start_offset));
  }
  if (!settings.log_header.empty()) {
    job->headers =
        curl_slist_append(job->headers, ("X-Castanet-Log: " + settings.log_header).c_str());
  }
  if (!request.if_none_match.empty()) {
    job->headers =
        curl_slist_append(job->headers, ("If-None-Match: " + request.if_none_match).c_str());
  }
  if (job->headers) curl_easy_setopt(easy, CURLOPT_HTTPHEADER, job->headers);
  curl_multi_add_handle(Pool().multi(), easy);
  if (!job->observer->OnStart(job->index)) {
    job->result->aborted = true;
    *job->stop = true;
  }
  return true;
}

void FinishJob(Job* job, CURLcode code) {
  HttpResult* result = job->result;
  if (code == CURLE_OK) {
    result->transport_ok = true;
    curl_easy_getinfo(job->easy, CURLINFO_RESPONSE_CODE, &result->status);
  } else if (result->error.empty()) {
    result->error = curl_easy_strerror(code);
  }
  if (result->write_errno) result->error = std::strerror(result->write_errno);
  if (result->too_long) result->error = "response longer than expected";
  if (job->fd >= 0) {
    struct stat info;
    if (fstat(job->fd, &info) == 0) result->file_size = info.st_size;
    Sys().close(job->fd);
    job->fd = -1;
  }
  job->observer->OnDone(job->index, result);
  curl_multi_remove_handle(Pool().multi(), job->easy);
  curl_easy_cleanup(job->easy);
  curl_slist_free_all(job->headers);
  job->easy = nullptr;
  job->headers = nullptr;
}

}  // namespace

bool IsDiskFullErrno(int error_number) {
  return error_number == ENOSPC || error_number == EFBIG || error_number == EDQUOT;
}

void RunTransfers(const TransferSettings& settings, const std::vector<HttpRequest>& requests,
                  TransferObserver* observer, std::vector<HttpResult>* results) {
  std::lock_guard<std::mutex> lock(Pool().mutex());
  CURLM* multi = Pool().multi();
  curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(settings.parallel));
  results->assign(requests.size(), HttpResult());
  std::vector<Job> jobs(requests.size());
  bool stop = false, connected_reported = false, response_reported = false;
  size_t next = 0, running = 0;
  while (true) {
    while (!stop && next < requests.size() && running < static_cast<size_t>(settings.parallel)) {
      Job& job = jobs[next];
      job.index = next;
      job.request = &requests[next];
      job.result = &(*results)[next];
      job.observer = observer;
      job.stop = &stop;
      job.connected_reported = &connected_reported;
      job.response_reported = &response_reported;
      next++;
      if (StartJob(settings, &job)) running++;
    }
    if (running == 0) break;
    int still_running = 0;
    curl_multi_perform(multi, &still_running);
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
      if (message->msg != CURLMSG_DONE) continue;
      Job* job = nullptr;
      curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &job);
      FinishJob(job, message->data.result);
      running--;
    }
    if (stop) {
      for (Job& job : jobs) {
        if (job.easy) {
          job.result->aborted = true;
          FinishJob(&job, CURLE_ABORTED_BY_CALLBACK);
          running--;
        }
      }
      continue;
    }
    if (running > 0) curl_multi_poll(multi, nullptr, 0, 200, nullptr);
  }
}

HttpClient& CurlHttpClient() {
  class Curl : public HttpClient {
   public:
    void Run(const TransferSettings& settings, const std::vector<HttpRequest>& requests,
             TransferObserver* observer, std::vector<HttpResult>* results) override {
      RunTransfers(settings, requests, observer, results);
    }
  };
  static Curl* client = new Curl();  // lives for the process, like the connection pool
  return *client;
}

}  // namespace castanet
