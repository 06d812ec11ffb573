// Win32 result codes as the platform layer reports them, and the per-thread "last
// error" that Win32-style calls (those returning a success flag) leave behind.
#pragma once

#include <cstdint>

namespace platform {

using Status = std::uint32_t;

inline constexpr Status kErrorSuccess = 0;
inline constexpr Status kErrorInvalidFunction = 1;
inline constexpr Status kErrorFileNotFound = 2;
inline constexpr Status kErrorPathNotFound = 3;
inline constexpr Status kErrorTooManyOpenFiles = 4;
inline constexpr Status kErrorAccessDenied = 5;
inline constexpr Status kErrorInvalidHandle = 6;
inline constexpr Status kErrorNotEnoughMemory = 8;
inline constexpr Status kErrorInvalidDrive = 15;
inline constexpr Status kErrorCurrentDirectory = 16;
inline constexpr Status kErrorNotSameDevice = 17;
inline constexpr Status kErrorNoMoreFiles = 18;
inline constexpr Status kErrorWriteProtect = 19;
inline constexpr Status kErrorNotReady = 21;
inline constexpr Status kErrorSharingViolation = 32;
inline constexpr Status kErrorLockViolation = 33;
inline constexpr Status kErrorHandleEof = 38;
inline constexpr Status kErrorHandleDiskFull = 39;
inline constexpr Status kErrorNotSupported = 50;
inline constexpr Status kErrorBadNetpath = 53;
inline constexpr Status kErrorFileExists = 80;
inline constexpr Status kErrorInvalidParameter = 87;
inline constexpr Status kErrorDiskFull = 112;
inline constexpr Status kErrorCallNotImplemented = 120;
inline constexpr Status kErrorInsufficientBuffer = 122;
inline constexpr Status kErrorInvalidName = 123;
inline constexpr Status kErrorModNotFound = 126;
inline constexpr Status kErrorProcNotFound = 127;
inline constexpr Status kErrorDirNotEmpty = 145;
inline constexpr Status kErrorBadPathname = 161;
inline constexpr Status kErrorBusy = 170;
inline constexpr Status kErrorAlreadyExists = 183;
inline constexpr Status kErrorBadExeFormat = 193;
inline constexpr Status kErrorFilenameExcedRange = 206;
inline constexpr Status kErrorMoreData = 234;
inline constexpr Status kErrorWaitTimeout = 258;
inline constexpr Status kErrorNoMoreItems = 259;
inline constexpr Status kErrorEnvvarNotFound = 203;
inline constexpr Status kErrorDirectory = 267;
inline constexpr Status kErrorInvalidFlags = 1004;
inline constexpr Status kErrorRegistryCorrupt = 1015;
inline constexpr Status kErrorRegistryIoFailed = 1016;
inline constexpr Status kErrorKeyDeleted = 1018;
inline constexpr Status kErrorChildMustBeVolatile = 1021;
inline constexpr Status kErrorTimeout = 1460;

// Exit code of a process that is still running (STILL_ACTIVE).
inline constexpr std::uint32_t kStillActive = 259;

// The longest path the system's buffers hold, terminator included (MAX_PATH).
inline constexpr std::size_t kMaxPath = 260;

Status GetLastError();
void SetLastError(Status status);

// Maps an errno value to the closest Win32 code.
Status StatusFromErrno(int error_number);

}  // namespace platform
