// Channel objects and patches: zstd-compressed contents and zstd "patch-from" deltas.
// Every decoder stops at the expected length and checks the SHA-256, so a bad object
// never becomes a file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace castanet {

enum class CodecResult {
  kOk,
  kBadContent,  // malformed data, wrong length or wrong SHA-256
  kReadError,   // an input could not be read
  kWriteError,  // the output could not be written; errno_value says why (ENOSPC: disk full)
};

struct CodecStatus {
  CodecResult result = CodecResult::kOk;
  int errno_value = 0;
  std::string message;
  bool ok() const { return result == CodecResult::kOk; }
};

// Compresses a file into output (created or truncated); *stored_size receives its length.
CodecStatus CompressFile(const std::string& input, const std::string& output, int level,
                         uint64_t* stored_size);

// Decompresses an object into output, which must come out expected_size bytes long with
// the given SHA-256. The caller flushes outputs to disk (one SyncFileSystem for many).
CodecStatus DecompressObject(const std::string& input, const std::string& output,
                             uint64_t expected_size, const std::string& expected_sha256);

// The same for an object held in memory.
CodecStatus DecompressObjectData(std::string_view data, const std::string& output,
                                 uint64_t expected_size, const std::string& expected_sha256);

// Makes a patch that turns old_file into new_file; empty *patch on failure.
CodecStatus MakePatch(const std::string& old_file, const std::string& new_file, int level,
                      std::string* patch);

// Applies a patch to old_file (which must have old_sha256), writing output checked like
// DecompressObject.
CodecStatus ApplyPatch(const std::string& old_file, const std::string& old_sha256,
                       const std::string& patch_file, const std::string& output,
                       uint64_t expected_size, const std::string& expected_sha256);

}  // namespace castanet
