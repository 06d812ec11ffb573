// Named and unnamed mutexes. Threads of this process queue on the object itself; only
// the thread that takes it first holds the file lock, so recursion and in-process
// exclusion do not depend on flock's per-descriptor rules.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <thread>

#include "platform/prefix.h"
#include "platform/sync.h"

namespace platform {
namespace internal {

struct MutexObject {
  ~MutexObject() {
    if (fd >= 0) close(fd);  // drops the file lock if it is still held
  }
  std::string name;
  int fd = -1;  // lock file; -1 for an unnamed mutex
  std::mutex mutex;
  std::condition_variable changed;
  std::thread::id owner;
  std::uint32_t count = 0;
  bool taken = false;  // a thread owns it or is taking the file lock
};

}  // namespace internal

struct MutexAccess {
  static internal::MutexObject* Object(const MutexHandle& handle) { return handle.object_.get(); }
  static MutexHandle Make(std::shared_ptr<internal::MutexObject> object) {
    MutexHandle handle;
    handle.object_ = std::move(object);
    return handle;
  }
  static void Reset(MutexHandle& handle) { handle.object_.reset(); }
};

namespace {

using internal::MutexObject;
using Clock = std::chrono::steady_clock;

std::mutex table_mutex;
std::map<std::string, std::weak_ptr<MutexObject>>& OpenMutexes() {
  static auto* table = new std::map<std::string, std::weak_ptr<MutexObject>>;
  return *table;
}

// Takes the file lock, waiting at most until the deadline (or without limit):
// kWaitObject0, kWaitTimeout or kWaitFailed.
std::uint32_t LockFile(int fd, bool forever, Clock::time_point deadline) {
  for (;;) {
    if (flock(fd, forever ? LOCK_EX : LOCK_EX | LOCK_NB) == 0) return kWaitObject0;
    if (errno == EINTR) continue;
    if (forever || errno != EWOULDBLOCK) return kWaitFailed;
    if (Clock::now() >= deadline) return kWaitTimeout;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::uint64_t Fnv1a(const std::string& text) {
  std::uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : text) hash = (hash ^ c) * 1099511628211ull;
  return hash;
}

}  // namespace

std::string MutexFileName(const std::string& name) {
  std::string file;
  for (unsigned char c : name) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '_' || c == '.') {
      file.push_back(static_cast<char>(c));
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      file += escaped;
    }
  }
  if (file == "." || file == "..") file = "%2E" + file.substr(1);
  constexpr std::size_t kLongest = 200;
  if (file.size() > kLongest) {
    char hash[24];
    std::snprintf(hash, sizeof hash, "~%016llx", static_cast<unsigned long long>(Fnv1a(name)));
    file = file.substr(0, kLongest - 17) + hash;
  }
  return file;
}

MutexHandle CreateMutex(const std::string& name, bool initial_owner) {
  std::shared_ptr<MutexObject> object;
  bool existed = false;
  if (name.empty()) {
    object = std::make_shared<MutexObject>();
  } else {
    Status status = kErrorSuccess;
    std::string dir = PrefixDirectory(&status);
    if (dir.empty()) {
      SetLastError(status);
      return MutexHandle();
    }
    // Keyed by the lock file, so that a change of prefix gives a different mutex.
    std::string path = dir + "/locks/" + MutexFileName(name);
    std::lock_guard<std::mutex> lock(table_mutex);
    object = OpenMutexes()[path].lock();
    existed = object != nullptr;
    if (!object) {
      int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
      if (fd < 0) {
        SetLastError(StatusFromErrno(errno));
        return MutexHandle();
      }
      object = std::make_shared<MutexObject>();
      object->name = name;
      object->fd = fd;
      OpenMutexes()[path] = object;
    }
  }
  MutexHandle handle = MutexAccess::Make(object);
  if (initial_owner && !existed) WaitForMutex(handle, kInfinite);
  SetLastError(existed ? kErrorAlreadyExists : kErrorSuccess);
  return handle;
}

std::uint32_t WaitForMutex(const MutexHandle& handle, std::uint32_t milliseconds) {
  MutexObject* object = MutexAccess::Object(handle);
  if (!object) {
    SetLastError(kErrorInvalidHandle);
    return kWaitFailed;
  }
  bool forever = milliseconds == kInfinite;
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : milliseconds);
  std::thread::id self = std::this_thread::get_id();
  std::unique_lock<std::mutex> lock(object->mutex);
  if (object->taken && object->owner == self) {
    ++object->count;
    return kWaitObject0;
  }
  auto free = [object] { return !object->taken; };
  if (forever)
    object->changed.wait(lock, free);
  else if (!object->changed.wait_until(lock, deadline, free))
    return kWaitTimeout;
  object->taken = true;
  if (object->fd >= 0) {
    lock.unlock();
    std::uint32_t result = LockFile(object->fd, forever, deadline);
    lock.lock();
    if (result != kWaitObject0) {
      object->taken = false;
      object->changed.notify_one();
      if (result == kWaitFailed) SetLastError(StatusFromErrno(errno));
      return result;
    }
  }
  object->owner = self;
  object->count = 1;
  return kWaitObject0;
}

bool ReleaseMutex(const MutexHandle& handle) {
  MutexObject* object = MutexAccess::Object(handle);
  if (!object) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  std::lock_guard<std::mutex> lock(object->mutex);
  if (!object->taken || object->owner != std::this_thread::get_id() || object->count == 0) {
    SetLastError(kErrorNotOwner);
    return false;
  }
  if (--object->count > 0) return true;
  if (object->fd >= 0) flock(object->fd, LOCK_UN);
  object->owner = std::thread::id();
  object->taken = false;
  object->changed.notify_one();
  return true;
}

bool CloseHandle(MutexHandle& handle) {
  if (!handle.valid()) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  MutexAccess::Reset(handle);
  return true;
}

}  // namespace platform
