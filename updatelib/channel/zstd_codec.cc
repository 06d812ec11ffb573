// zstd streaming compression, decompression and patch-from deltas with length and
// digest checks.
#include "updatelib/channel/zstd_codec.h"

#include <fcntl.h>
#include <unistd.h>
#include <zstd.h>

#include <cerrno>
#include <cstring>
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

// What every decode needs and can reuse: the context and the output buffer. Many small
// objects arrive one after the other; allocating (and faulting in) these for each one
// cost more than decoding it.
struct DecodeScratch {
  DecodeScratch() : dctx(ZSTD_createDCtx()), in_buffer(ZSTD_DStreamInSize(), '\0') {
    out_buffer.resize(ZSTD_DStreamOutSize());
  }
  ~DecodeScratch() { ZSTD_freeDCtx(dctx); }
  DecodeScratch(const DecodeScratch&) = delete;
  DecodeScratch& operator=(const DecodeScratch&) = delete;
  ZSTD_DCtx* dctx;
  std::string in_buffer;
  std::string out_buffer;
};

// A context as fresh as a new one: no parameters or prefix left from the last frame.
DecodeScratch& FreshScratch() {
  thread_local DecodeScratch scratch;
  ZSTD_DCtx_reset(scratch.dctx, ZSTD_reset_session_and_parameters);
  ZSTD_DCtx_setParameter(scratch.dctx, ZSTD_d_windowLogMax, kMaxWindowLog);
  return scratch;
}

// Decodes one zstd frame into a file as its input comes, checking length and digest.
class FrameWriter {
 public:
  FrameWriter(DecodeScratch* scratch, const std::string& output, uint64_t expected_size)
      : scratch_(scratch),
        output_(output),
        out_(Sys().open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)),
        open_errno_(errno),
        expected_size_(expected_size) {}

  CodecStatus Opened() const {
    if (out_.get() >= 0) return CodecStatus();
    return Fail(CodecResult::kWriteError, output_ + ": " + ErrnoText(open_errno_), open_errno_);
  }

  CodecStatus Feed(const char* data, size_t size) {
    ZSTD_inBuffer in = {data, size, 0};
    std::string& buffer = scratch_->out_buffer;
    while (in.pos < in.size) {
      ZSTD_outBuffer out_stream = {buffer.data(), buffer.size(), 0};
      last_result_ = ZSTD_decompressStream(scratch_->dctx, &out_stream, &in);
      if (ZSTD_isError(last_result_)) {
        return Fail(CodecResult::kBadContent, ZSTD_getErrorName(last_result_));
      }
      total_ += out_stream.pos;
      if (total_ > expected_size_) return Fail(CodecResult::kBadContent, "object too long");
      hash_.Update(buffer.data(), out_stream.pos);
      if (!WriteAll(out_.get(), buffer.data(), out_stream.pos)) {
        return Fail(CodecResult::kWriteError, output_ + ": " + ErrnoText(errno), errno);
      }
    }
    return CodecStatus();
  }

  CodecStatus Finish(const std::string& expected_sha256) {
    if (last_result_ != 0) return Fail(CodecResult::kBadContent, "object truncated");
    if (total_ != expected_size_) {
      return Fail(CodecResult::kBadContent, "object has the wrong length");
    }
    if (hash_.HexDigest() != expected_sha256) {
      return Fail(CodecResult::kBadContent, "SHA-256 differs");
    }
    return CodecStatus();
  }

 private:
  DecodeScratch* scratch_;
  const std::string& output_;
  Fd out_;
  int open_errno_;
  uint64_t expected_size_;
  Sha256 hash_;
  uint64_t total_ = 0;
  size_t last_result_ = 1;
};

// Streams a zstd frame from a file to output through the scratch context.
CodecStatus DecodeFile(DecodeScratch* scratch, int input_fd, const std::string& output,
                       uint64_t expected_size, const std::string& expected_sha256) {
  FrameWriter writer(scratch, output, expected_size);
  CodecStatus status = writer.Opened();
  if (!status.ok()) return status;
  std::string& buffer = scratch->in_buffer;
  for (;;) {
    ssize_t n = ReadSome(input_fd, buffer.data(), buffer.size());
    if (n < 0) return Fail(CodecResult::kReadError, ErrnoText(errno), errno);
    if (n == 0) break;
    status = writer.Feed(buffer.data(), static_cast<size_t>(n));
    if (!status.ok()) return status;
  }
  return writer.Finish(expected_sha256);
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
  return DecodeFile(&FreshScratch(), in.get(), output, expected_size, expected_sha256);
}

CodecStatus DecompressObjectData(std::string_view data, const std::string& output,
                                 uint64_t expected_size, const std::string& expected_sha256) {
  // The object is in memory already: decode it where it lies.
  FrameWriter writer(&FreshScratch(), output, expected_size);
  CodecStatus status = writer.Opened();
  if (status.ok()) status = writer.Feed(data.data(), data.size());
  return status.ok() ? writer.Finish(expected_sha256) : status;
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
  DecodeScratch& scratch = FreshScratch();
  ZSTD_DCtx_refPrefix(scratch.dctx, old_contents.data(), old_contents.size());
  CodecStatus status = DecodeFile(&scratch, in.get(), output, expected_size, expected_sha256);
  // The prefix must not outlive old_contents, even unused.
  ZSTD_DCtx_reset(scratch.dctx, ZSTD_reset_session_and_parameters);
  return status;
}

}  // namespace castanet
