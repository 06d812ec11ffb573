// Mutexes with the Win32 model: a named mutex is shared by every process that opens
// the name and is released when its owner ends; an unnamed one lives in this process.
// Ownership belongs to a thread and is recursive, as on Windows.
//
// Named mutexes are flock locks on files in prefix/locks (the name made safe as a file
// name), so the kernel releases them when the owning process ends, however it ends.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/process.h"
#include "platform/win_error.h"

namespace platform {

// ERROR_NOT_OWNER.
inline constexpr Status kErrorNotOwner = 288;

namespace internal {
struct MutexObject;
}

/// A handle to a mutex; copies refer to the same mutex. The mutex goes away (and an
/// ownership still held with it) when the last handle in this process is closed.
class MutexHandle {
 public:
  MutexHandle() = default;
  bool valid() const { return object_ != nullptr; }

 private:
  friend struct MutexAccess;
  std::shared_ptr<internal::MutexObject> object_;
};

/// CreateMutexA. An empty name makes an unnamed mutex. Opening a name this process
/// already has open sets the last error to kErrorAlreadyExists (the call succeeds);
/// whether another process has it is not known before trying to take it. An invalid
/// handle when the lock file cannot be made.
MutexHandle CreateMutex(const std::string& name, bool initial_owner = false);

/// WaitForSingleObject on a mutex: kWaitObject0 when the calling thread owns it,
/// kWaitTimeout when it could not be taken in time (0 = only try), kWaitFailed.
std::uint32_t WaitForMutex(const MutexHandle& mutex, std::uint32_t milliseconds);

/// ReleaseMutex: false with kErrorNotOwner when the calling thread does not own it.
bool ReleaseMutex(const MutexHandle& mutex);

bool CloseHandle(MutexHandle& mutex);

/// The lock file name for a mutex name: letters, digits, "-", "_" and "." stay, every
/// other byte becomes "%XX"; overlong names are cut and given a hash of the whole.
std::string MutexFileName(const std::string& name);

/// A lock inside this process (CRITICAL_SECTION): recursive, no name.
class CriticalSection {
 public:
  void Enter() { mutex_.lock(); }
  bool TryEnter() { return mutex_.try_lock(); }
  void Leave() { mutex_.unlock(); }

 private:
  std::recursive_mutex mutex_;
};

}  // namespace platform
