// The applier. Two passes: the first checks every target and writes every result to a
// temporary file beside it, verified against the promised size and digest; the second
// renames the results into place. Aborts and failures in the first pass remove the
// temporary files and leave the targets untouched.
#include "patchlib/apply.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zstd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "patchlib/patch_file.h"
#include "platform/command_line.h"
#include "platform/file_in_use.h"
#include "platform/paths.h"

namespace patchlib {
namespace {

constexpr std::size_t kChunk = 1 << 17;
constexpr std::uint32_t kWholeFile = 32768;

struct Prepared {
  std::string host_target;
  std::string temporary;  // "" for a delete or a target that is already the result
  bool remove = false;
};

bool ReadHostFile(const std::string& path, std::uint64_t limit, std::string* contents) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  bool ok = fstat(fd, &info) == 0 && static_cast<std::uint64_t>(info.st_size) <= limit;
  if (ok) {
    contents->resize(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (ok && done < contents->size()) {
      ssize_t n = read(fd, contents->data() + done, contents->size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0)
        ok = false;
      else
        done += static_cast<std::size_t>(n);
    }
  }
  close(fd);
  return ok;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

std::string JoinWindowsPath(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  char last = directory.back();
  return directory + (last == '\\' || last == '/' ? "" : "\\") + name;
}

// Creates the missing directories above a host path.
bool MakeParents(const std::string& host_path) {
  for (std::size_t slash = host_path.find('/', 1); slash != std::string::npos;
       slash = host_path.find('/', slash + 1)) {
    std::string parent = host_path.substr(0, slash);
    if (mkdir(parent.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

class Applier {
 public:
  Applier(const ApplyOptions& options, ApplyObserver& observer)
      : options_(options), observer_(observer) {}
  ~Applier() {
    for (const Prepared& item : prepared_)
      if (!item.temporary.empty()) unlink(item.temporary.c_str());
  }

  std::uint32_t Run() {
    std::string host_patch = platform::ToHostPath(options_.patch_file);
    std::string bytes;
    if (host_patch.empty() || !ReadHostFile(host_patch, UINT64_C(1) << 32, &bytes))
      return Fail(kCannotReadPatch, "Cannot read the patch file " + options_.patch_file);
    Patch patch;
    std::string error;
    if (!ParsePatch(bytes, &patch, &error)) return Invalid();
    directory_ = options_.target_directory.empty() ? platform::GetCurrentDirectory()
                                                   : options_.target_directory;
    if (!observer_.TotalFiles(static_cast<std::uint32_t>(patch.entries.size()))) return kAborted;
    for (const Entry& entry : patch.entries) {
      std::uint32_t code = Prepare(entry);
      if (code != kPatchApplied) return code;
    }
    if (options_.check_only) return kPatchApplied;
    return Commit();
  }

 private:
  std::uint32_t Fail(std::uint32_t code, const std::string& text) {
    observer_.Error(text);
    return code;
  }
  std::uint32_t Invalid() {
    observer_.InvalidPatch();
    return kInvalidPatch;
  }

  std::uint32_t Prepare(const Entry& entry) {
    if (!observer_.NewFile(entry.name)) return kAborted;
    const std::string windows_target = JoinWindowsPath(directory_, entry.name);
    std::string host = platform::ToHostPath(windows_target);
    if (host.empty()) host = platform::MapToHostPath(windows_target);
    if (host.empty()) return Fail(kTargetMissing, "Cannot find " + windows_target);
    Prepared item;
    item.host_target = host;

    struct stat info;
    const bool exists = stat(host.c_str(), &info) == 0;
    if (exists && !S_ISREG(info.st_mode))
      return Fail(kTargetMismatch, windows_target + " is not a file");
    std::string current;
    if (exists && !ReadHostFile(host, kMaxFileSize, &current))
      return Fail(kTargetMismatch, "Cannot read " + windows_target);
    const Digest current_sha256 = exists ? Sha256(current) : Digest{};
    const bool is_result = entry.action == Action::kDelete
                               ? !exists
                               : exists && current.size() == entry.result_size &&
                                     current_sha256 == entry.result_sha256;
    if (is_result) {  // already patched: nothing to do
      prepared_.push_back(item);
      return observer_.Progress(kWholeFile) ? kPatchApplied : kAborted;
    }
    if (entry.has_source) {
      if (!exists) return Fail(kTargetMissing, "Cannot find " + windows_target);
      if (current.size() != entry.source_size || current_sha256 != entry.source_sha256)
        return Fail(kTargetMismatch, windows_target + " is not the version this patch applies to");
    } else if (exists) {
      return Fail(kTargetMismatch, windows_target + " already exists and differs from the patch");
    }
    if (exists && platform::IsHostFileInUse(host))
      return Fail(kTargetInUse, windows_target + " is in use by another program");

    if (entry.action == Action::kDelete) {
      item.remove = true;
      prepared_.push_back(item);
      return observer_.Progress(kWholeFile) ? kPatchApplied : kAborted;
    }
    if (!exists && !MakeParents(host))
      return Fail(kWriteFailed, "Cannot create the folder of " + windows_target);
    item.temporary = host + ".zpatch-" + std::to_string(getpid());
    const mode_t mode = exists ? (info.st_mode & 07777) : 0644;
    int fd = open(item.temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) return Fail(kWriteFailed, "Cannot write beside " + windows_target);
    prepared_.push_back(item);  // from here on the destructor removes it
    std::uint32_t code = Decode(entry, current, fd, windows_target);
    if (code == kPatchApplied && fsync(fd) != 0)
      code = Fail(kWriteFailed, "Cannot write " + windows_target);
    close(fd);
    return code;
  }

  // Streams the entry's zstd frame into fd, reporting progress, and checks the result.
  std::uint32_t Decode(const Entry& entry, const std::string& source, int fd,
                       const std::string& windows_target) {
    std::unique_ptr<ZSTD_DCtx, size_t (*)(ZSTD_DCtx*)> dctx(ZSTD_createDCtx(), ZSTD_freeDCtx);
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> hash(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!dctx || !hash) return Fail(kWriteFailed, "Not enough memory");
    ZSTD_DCtx_setParameter(dctx.get(), ZSTD_d_windowLogMax, 31);
    if (entry.action == Action::kDelta)
      ZSTD_DCtx_refPrefix(dctx.get(), source.data(), source.size());
    EVP_DigestInit_ex(hash.get(), EVP_sha256(), nullptr);
    std::vector<char> buffer(kChunk);
    std::uint64_t total = 0;
    std::size_t last = 1;
    ZSTD_inBuffer in = {entry.data.data(), entry.data.size(), 0};
    while (in.pos < in.size) {
      ZSTD_outBuffer out = {buffer.data(), buffer.size(), 0};
      last = ZSTD_decompressStream(dctx.get(), &out, &in);
      if (ZSTD_isError(last)) return Invalid();
      total += out.pos;
      if (total > entry.result_size) return Invalid();
      EVP_DigestUpdate(hash.get(), buffer.data(), out.pos);
      if (!WriteAll(fd, buffer.data(), out.pos))
        return Fail(kWriteFailed, "Cannot write " + windows_target + ": " + std::strerror(errno));
      const std::uint32_t done =
          entry.result_size == 0
              ? kWholeFile
              : static_cast<std::uint32_t>(total * kWholeFile / entry.result_size);
      if (!observer_.Progress(done)) return kAborted;
      if (last == 0 && in.pos < in.size) return Invalid();  // bytes after the frame
    }
    // Flush what the decoder still holds.
    while (last != 0) {
      ZSTD_outBuffer out = {buffer.data(), buffer.size(), 0};
      last = ZSTD_decompressStream(dctx.get(), &out, &in);
      if (ZSTD_isError(last) || out.pos == 0) return Invalid();
      total += out.pos;
      if (total > entry.result_size) return Invalid();
      EVP_DigestUpdate(hash.get(), buffer.data(), out.pos);
      if (!WriteAll(fd, buffer.data(), out.pos))
        return Fail(kWriteFailed, "Cannot write " + windows_target + ": " + std::strerror(errno));
    }
    Digest digest{};
    unsigned int length = 0;
    EVP_DigestFinal_ex(hash.get(), digest.data(), &length);
    if (total != entry.result_size || digest != entry.result_sha256) return Invalid();
    return observer_.Progress(kWholeFile) ? kPatchApplied : kAborted;
  }

  // The second pass: no check can fail any more, so nothing asks to abort here.
  std::uint32_t Commit() {
    for (Prepared& item : prepared_) {
      if (item.remove) {
        if (unlink(item.host_target.c_str()) != 0 && errno != ENOENT)
          return Fail(kWriteFailed, "Cannot delete " + item.host_target);
      } else if (!item.temporary.empty()) {
        if (rename(item.temporary.c_str(), item.host_target.c_str()) != 0)
          return Fail(kWriteFailed, "Cannot replace " + item.host_target);
        item.temporary.clear();
      }
    }
    return kPatchApplied;
  }

  const ApplyOptions& options_;
  ApplyObserver& observer_;
  std::string directory_;
  std::vector<Prepared> prepared_;
};

}  // namespace

std::uint32_t ApplyPatchFile(const ApplyOptions& options, ApplyObserver& observer) {
  return Applier(options, observer).Run();
}

bool ParseCommandLine(const std::string& command_line, ApplyOptions* options) {
  // The line carries no program name; a stand-in keeps the C runtime's first-token rule
  // from applying to the patch file's name.
  std::vector<std::string> argv = platform::SplitCommandLine("patchw32 " + command_line);
  std::vector<std::string> paths;
  *options = ApplyOptions();
  for (std::size_t i = 1; i < argv.size(); ++i) {
    const std::string& word = argv[i];
    if ((word[0] == '/' || word[0] == '-') && word.size() > 1 && std::isalpha(word[1]) &&
        word.find_first_of("\\/.", 1) == std::string::npos) {
      std::string upper;
      for (char c : word.substr(1)) upper.push_back(static_cast<char>(std::toupper(c)));
      if (upper != "CHECK") return false;
      options->check_only = true;
    } else if (!word.empty()) {
      paths.push_back(word);
    }
  }
  if (paths.empty() || paths.size() > 2) return false;
  options->patch_file = paths[0];
  if (paths.size() == 2) options->target_directory = paths[1];
  return true;
}

}  // namespace patchlib
