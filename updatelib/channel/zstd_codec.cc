// zstd streaming compression, decompression and patch-from deltas with length and
// digest checks.
#include "updatelib/channel/zstd_codec.h"

#include <fcntl.h>
#include <unistd.h>
#include <zstd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>

#include "updatelib/channel/crypto.h"
#include "updatelib/channel/file_io.h"
#include "updatelib/channel/system_calls.h"

namespace castanet {
namespace {

// Patches reach back over the whole old file; windows past 2 GiB are refused.
constexpr int kMaxWindowLog = 31;

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) Sys().close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

CodecStatus Fail(CodecResult result, std::string message, int errno_value = 0) {
  CodecStatus status;
  status.result = result;
  status.errno_value = errno_value;
  status.message = std::move(message);
  return status;
}

ssize_t ReadSome(int fd, char* buffer, size_t size) {
  for (;;) {
    ssize_t n = Sys().read(fd, buffer, size);
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

// Streams a zstd frame from input_fd to output through dctx, checking length and digest.
// read(buffer, size) gives the next input bytes: a count, 0 at the end, -1 on error.
using Reader = std::function<ssize_t(char*, size_t)>;

CodecStatus DecodeStream(ZSTD_DCtx* dctx, const Reader& read_input, const std::string& output,
                         uint64_t expected_size, const std::string& expected_sha256) {
  Fd out(Sys().open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (out.get() < 0) return Fail(CodecResult::kWriteError, output + ": " + ErrnoText(errno), errno);
  std::string in_buffer(ZSTD_DStreamInSize(), '\0');
  std::string out_buffer(ZSTD_DStreamOutSize(), '\0');
  Sha256 hash;
  uint64_t total = 0;
  size_t last_result = 1;
  for (;;) {
    ssize_t n = read_input(in_buffer.data(), in_buffer.size());
    if (n < 0) return Fail(CodecResult::kReadError, ErrnoText(errno), errno);
    if (n == 0) break;
    ZSTD_inBuffer in = {in_buffer.data(), static_cast<size_t>(n), 0};
    while (in.pos < in.size) {
      ZSTD_outBuffer out_stream = {out_buffer.data(), out_buffer.size(), 0};
      last_result = ZSTD_decompressStream(dctx, &out_stream, &in);
      if (ZSTD_isError(last_result)) {
        return Fail(CodecResult::kBadContent, ZSTD_getErrorName(last_result));
      }
      total += out_stream.pos;
      if (total > expected_size) return Fail(CodecResult::kBadContent, "object too long");
      hash.Update(out_buffer.data(), out_stream.pos);
      if (!WriteAll(out.get(), out_buffer.data(), out_stream.pos)) {
        return Fail(CodecResult::kWriteError, output + ": " + ErrnoText(errno), errno);
      }
    }
  }
  if (last_result != 0) return Fail(CodecResult::kBadContent, "object truncated");
  if (total != expected_size) return Fail(CodecResult::kBadContent, "object has the wrong length");
  if (hash.HexDigest() != expected_sha256) return Fail(CodecResult::kBadContent, "SHA-256 differs");
  return CodecStatus();
}

Reader FileReader(int fd) {
  return [fd](char* buffer, size_t size) { return ReadSome(fd, buffer, size); };
}

int WindowLogFor(uint64_t size) {
  int log = 10;
  while (log < kMaxWindowLog && (UINT64_C(1) << log) < size) log++;
  return log;
}

}  // namespace

CodecStatus CompressFile(const std::string& input, const std::string& output, int level,
                         uint64_t* stored_size) {
  Fd in(Sys().open(input.c_str(), O_RDONLY | O_CLOEXEC, 0));
  if (in.get() < 0) return Fail(CodecResult::kReadError, input + ": " + ErrnoText(errno), errno);
  Fd out(Sys().open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (out.get() < 0) return Fail(CodecResult::kWriteError, output + ": " + ErrnoText(errno), errno);
  std::unique_ptr<ZSTD_CCtx, size_t (*)(ZSTD_CCtx*)> cctx(ZSTD_createCCtx(), ZSTD_freeCCtx);
  ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_compressionLevel, level);
  ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_checksumFlag, 1);
  std::string in_buffer(ZSTD_CStreamInSize(), '\0');
  std::string out_buffer(ZSTD_CStreamOutSize(), '\0');
  uint64_t total = 0;
  for (;;) {
    ssize_t n = ReadSome(in.get(), in_buffer.data(), in_buffer.size());
    if (n < 0) return Fail(CodecResult::kReadError, input + ": " + ErrnoText(errno), errno);
    ZSTD_EndDirective mode = n == 0 ? ZSTD_e_end : ZSTD_e_continue;
    ZSTD_inBuffer in_stream = {in_buffer.data(), static_cast<size_t>(n), 0};
    bool finished = false;
    while (!finished) {
      ZSTD_outBuffer out_stream = {out_buffer.data(), out_buffer.size(), 0};
      size_t remaining = ZSTD_compressStream2(cctx.get(), &out_stream, &in_stream, mode);
      if (ZSTD_isError(remaining)) {
        return Fail(CodecResult::kBadContent, ZSTD_getErrorName(remaining));
      }
      if (!WriteAll(out.get(), out_buffer.data(), out_stream.pos)) {
        return Fail(CodecResult::kWriteError, output + ": " + ErrnoText(errno), errno);
      }
      total += out_stream.pos;
      finished = mode == ZSTD_e_end ? remaining == 0 : in_stream.pos == in_stream.size;
    }
    if (n == 0) break;
  }
  *stored_size = total;
  return CodecStatus();
}

CodecStatus DecompressObject(const std::string& input, const std::string& output,
                             uint64_t expected_size, const std::string& expected_sha256) {
  Fd in(Sys().open(input.c_str(), O_RDONLY | O_CLOEXEC, 0));
  if (in.get() < 0) return Fail(CodecResult::kReadError, input + ": " + ErrnoText(errno), errno);
  std::unique_ptr<ZSTD_DCtx, size_t (*)(ZSTD_DCtx*)> dctx(ZSTD_createDCtx(), ZSTD_freeDCtx);
  ZSTD_DCtx_setParameter(dctx.get(), ZSTD_d_windowLogMax, kMaxWindowLog);
  return DecodeStream(dctx.get(), FileReader(in.get()), output, expected_size, expected_sha256);
}

CodecStatus DecompressObjectData(std::string_view data, const std::string& output,
                                 uint64_t expected_size, const std::string& expected_sha256) {
  std::unique_ptr<ZSTD_DCtx, size_t (*)(ZSTD_DCtx*)> dctx(ZSTD_createDCtx(), ZSTD_freeDCtx);
  ZSTD_DCtx_setParameter(dctx.get(), ZSTD_d_windowLogMax, kMaxWindowLog);
  Reader from_memory = [&data](char* buffer, size_t size) {
    size_t n = std::min(size, data.size());
    std::memcpy(buffer, data.data(), n);
    data.remove_prefix(n);
    return static_cast<ssize_t>(n);
  };
  return DecodeStream(dctx.get(), from_memory, output, expected_size, expected_sha256);
}

CodecStatus MakePatch(const std::string& old_file, const std::string& new_file, int level,
                      std::string* patch) {
  patch->clear();
  std::string old_contents, new_contents, error;
  if (!ReadWholeFile(old_file, &old_contents, &error) ||
      !ReadWholeFile(new_file, &new_contents, &error)) {
    return Fail(CodecResult::kReadError, error);
  }
  std::unique_ptr<ZSTD_CCtx, size_t (*)(ZSTD_CCtx*)> cctx(ZSTD_createCCtx(), ZSTD_freeCCtx);
  ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_compressionLevel, level);
  // The window must reach from the end of the new contents back to the start of the
  // old ones, which precede them as the prefix.
  ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_windowLog,
                         WindowLogFor(old_contents.size() + new_contents.size()));
  ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_enableLongDistanceMatching, 1);
  ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_checksumFlag, 1);
  // One worker thread, as the zstd command uses: its long-distance matcher then sees the
  // whole input at once, which keeps patches small at high levels too.
  ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_nbWorkers, 1);
  ZSTD_CCtx_refPrefix(cctx.get(), old_contents.data(), old_contents.size());
  patch->resize(ZSTD_compressBound(new_contents.size()));
  size_t size = ZSTD_compress2(cctx.get(), patch->data(), patch->size(), new_contents.data(),
                               new_contents.size());
  if (ZSTD_isError(size)) {
    patch->clear();
    return Fail(CodecResult::kBadContent, ZSTD_getErrorName(size));
  }
  patch->resize(size);
  return CodecStatus();
}

CodecStatus ApplyPatch(const std::string& old_file, const std::string& old_sha256,
                       const std::string& patch_file, const std::string& output,
                       uint64_t expected_size, const std::string& expected_sha256) {
  std::string old_contents, error;
  if (!ReadWholeFile(old_file, &old_contents, &error, UINT64_C(1) << kMaxWindowLog)) {
    return Fail(CodecResult::kReadError, error);
  }
  if (Sha256Hex(old_contents) != old_sha256) {
    return Fail(CodecResult::kBadContent, old_file + " is not the version the patch expects");
  }
  Fd in(Sys().open(patch_file.c_str(), O_RDONLY | O_CLOEXEC, 0));
  if (in.get() < 0) return Fail(CodecResult::kReadError, patch_file + ": " + ErrnoText(errno));
  std::unique_ptr<ZSTD_DCtx, size_t (*)(ZSTD_DCtx*)> dctx(ZSTD_createDCtx(), ZSTD_freeDCtx);
  ZSTD_DCtx_setParameter(dctx.get(), ZSTD_d_windowLogMax, kMaxWindowLog);
  ZSTD_DCtx_refPrefix(dctx.get(), old_contents.data(), old_contents.size());
  return DecodeStream(dctx.get(), FileReader(in.get()), output, expected_size, expected_sha256);
}

}  // namespace castanet
