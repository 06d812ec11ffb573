// Last-error bookkeeping and errno translation.
#include <cerrno>

#include "platform/win_error.h"

namespace platform {
namespace {
thread_local Status last_error = kErrorSuccess;
}  // namespace

Status GetLastError() { return last_error; }
void SetLastError(Status status) { last_error = status; }

Status StatusFromErrno(int error_number) {
  switch (error_number) {
    case 0:
      return kErrorSuccess;
    case ENOENT:
      return kErrorFileNotFound;
    case ENOTDIR:
      return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return kErrorAccessDenied;
    case EEXIST:
      return kErrorAlreadyExists;
    case ENOTEMPTY:
      return kErrorDirNotEmpty;
    case ENOSPC:
    case EDQUOT:
      return kErrorDiskFull;
    case ENAMETOOLONG:
      return kErrorFilenameExcedRange;
    case EMFILE:
    case ENFILE:
      return kErrorTooManyOpenFiles;
    case ENOMEM:
      return kErrorNotEnoughMemory;
    case EBUSY:
      return kErrorBusy;
    case EXDEV:
      return kErrorNotSameDevice;
    case EISDIR:
      return kErrorAccessDenied;
    case EINVAL:
      return kErrorInvalidParameter;
    case EAGAIN:
      return kErrorLockViolation;
    case ETIMEDOUT:
      return kErrorTimeout;
    case ENOSYS:
    case ENOTSUP:
      return kErrorNotSupported;
    default:
      return kErrorInvalidFunction;
  }
}

}  // namespace platform
