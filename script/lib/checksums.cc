// The checksum rows of the version library: Checksum, which runs up to four algorithms
// over a file or a byte range of it in one pass, and the script-text functions that
// call it with a fixed choice. CRC-32 and Adler-32 come from zlib, MD5 and RIPEMD-160
// from OpenSSL's digest interface.
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/files.h"
#include "script/evaluator.h"
#include "script/libraries.h"

namespace script {
namespace {

enum Algorithm : int32_t { kCrc32 = 1, kAdler32 = 2, kRipemd160 = 3, kMd5 = 4 };

constexpr size_t kChunkSize = 4096;
constexpr size_t kChunksPerBatch = 256;
// Below this a batch is not worth a thread.
constexpr size_t kParallelBatch = 256 * 1024;
// Long loops give the processor away for a moment now and then.
constexpr uint32_t kPauseEveryMs = 105;
constexpr uint32_t kPauseMs = 5;

class Digest {
 public:
  virtual ~Digest() = default;
  virtual void Update(const unsigned char* data, size_t size) = 0;
  virtual std::string Finish() = 0;
};

std::string Hex32(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(value));
  return text;
}

class Crc32Digest : public Digest {
 public:
  void Update(const unsigned char* data, size_t size) override {
    value_ = crc32(value_, data, static_cast<uInt>(size));
  }
  std::string Finish() override { return Hex32(static_cast<uint32_t>(value_)); }

 private:
  uLong value_ = crc32(0L, Z_NULL, 0);
};

class Adler32Digest : public Digest {
 public:
  void Update(const unsigned char* data, size_t size) override {
    value_ = adler32(value_, data, static_cast<uInt>(size));
  }
  std::string Finish() override { return Hex32(static_cast<uint32_t>(value_)); }

 private:
  uLong value_ = adler32(0L, Z_NULL, 0);
};

// RIPEMD-160 is in OpenSSL 3's default provider from 3.0.7 on; older 3.0 releases keep
// it in the legacy provider only, which is loaded once when the default one lacks it.
const EVP_MD* FetchRipemd160() {
  static const EVP_MD* md = [] {
    EVP_MD* found = EVP_MD_fetch(nullptr, "RIPEMD160", nullptr);
    if (found == nullptr && OSSL_PROVIDER_try_load(nullptr, "legacy", 1) != nullptr) {
      found = EVP_MD_fetch(nullptr, "RIPEMD160", nullptr);
    }
    return found;
  }();
  return md;
}

class EvpDigest : public Digest {
 public:
  explicit EvpDigest(const EVP_MD* md) : context_(EVP_MD_CTX_new()) {
    ok_ = md != nullptr && context_ != nullptr && EVP_DigestInit_ex(context_, md, nullptr) == 1;
  }
  ~EvpDigest() override { EVP_MD_CTX_free(context_); }
  void Update(const unsigned char* data, size_t size) override {
    if (ok_) ok_ = EVP_DigestUpdate(context_, data, size) == 1;
  }
  std::string Finish() override {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!ok_ || EVP_DigestFinal_ex(context_, digest, &size) != 1) return std::string();
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < size; ++i) {
      text += kHex[digest[i] >> 4];
      text += kHex[digest[i] & 15];
    }
    return text;
  }

 private:
  EVP_MD_CTX* context_;
  bool ok_;
};

std::unique_ptr<Digest> MakeDigest(int32_t algorithm) {
  switch (algorithm) {
    case kCrc32:
      return std::make_unique<Crc32Digest>();
    case kAdler32:
      return std::make_unique<Adler32Digest>();
    case kRipemd160:
      return std::make_unique<EvpDigest>(FetchRipemd160());
    case kMd5:
      return std::make_unique<EvpDigest>(EVP_md5());
  }
  return nullptr;
}

// Feeds `size` bytes to every digest in 4096-byte chunks; with several digests and
// enough data each runs on its own thread.
void FeedBatch(std::vector<std::unique_ptr<Digest>>& digests, const unsigned char* data,
               size_t size) {
  auto feed = [data, size](Digest* digest) {
    for (size_t at = 0; at < size; at += kChunkSize) {
      digest->Update(data + at, std::min(kChunkSize, size - at));
    }
  };
  if (digests.size() == 1 || size < kParallelBatch) {
    for (auto& digest : digests) feed(digest.get());
    return;
  }
  std::vector<std::thread> helpers;
  size_t started = 1;
  try {
    for (; started < digests.size(); ++started) helpers.emplace_back(feed, digests[started].get());
  } catch (const std::system_error&) {
    // No thread to be had: the rest run here.
  }
  for (size_t i = started; i < digests.size(); ++i) feed(digests[i].get());
  feed(digests[0].get());
  for (std::thread& helper : helpers) helper.join();
}

// The file argument: `$` escapes the character after it, so "$$" is one "$".
std::string FileArgument(std::string_view text) {
  std::string name;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '$' && i + 1 < text.size()) ++i;
    name += text[i];
  }
  return name;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

void ChecksumBuiltin(Call& call) {
  std::string name = FileArgument(call.Script(1));
  int32_t offset = call.Math(2);
  // Lengths are unsigned 32-bit counts; 0 means to the end of the file.
  uint64_t length = static_cast<uint32_t>(call.Math(3));
  std::vector<int32_t> chosen;
  for (int i = 5; i < call.argc; ++i) {
    int32_t algorithm = call.Flags(i, {{"CRC32", kCrc32},
                                       {"Crc32", kCrc32},
                                       {"ADLER32", kAdler32},
                                       {"Adler32", kAdler32},
                                       {"RIPEMD160", kRipemd160},
                                       {"Ripemd160", kRipemd160},
                                       {"MD5", kMd5},
                                       {"Md5", kMd5}});
    if (algorithm < kCrc32 || algorithm > kMd5) continue;
    if (std::find(chosen.begin(), chosen.end(), algorithm) != chosen.end()) continue;
    chosen.push_back(algorithm);
  }
  if (chosen.empty()) return;

  std::unique_ptr<std::FILE, FileCloser> file(platform::OpenStdioFile(name, "rb"));
  if (!file) return;
  // A negative offset fails to seek and reading starts at the beginning.
  if (offset > 0) std::fseek(file.get(), offset, SEEK_SET);

  std::vector<std::unique_ptr<Digest>> digests;
  for (int32_t algorithm : chosen) digests.push_back(MakeDigest(algorithm));

  // Chunks are read a batch at a time and each algorithm runs over the batch on a thread
  // of its own, so that several algorithms take hardly longer than the slowest alone.
  std::vector<unsigned char> buffer(kChunkSize * kChunksPerBatch);
  uint64_t left = length;
  uint32_t last_pause = platform::TimeGetTime();
  for (bool more = true; more;) {
    size_t filled = 0;
    while (filled < buffer.size()) {
      size_t want = kChunkSize;
      if (length != 0 && left < want) want = static_cast<size_t>(left);
      if (want == 0) {
        more = false;
        break;
      }
      size_t got = std::fread(buffer.data() + filled, 1, want, file.get());
      filled += got;
      if (length != 0) left -= got;
      if (got < want) {
        more = false;
        break;
      }
    }
    FeedBatch(digests, buffer.data(), filled);
    uint32_t now = platform::TimeGetTime();
    if (more && now - last_pause > kPauseEveryMs) {
      platform::Sleep(kPauseMs);
      last_pause = platform::TimeGetTime();
    }
  }
  file.reset();

  for (size_t i = 0; i < digests.size(); ++i) {
    if (i > 0) call.EvaluateIntoOutput(call.Raw(4));
    call.Write(digests[i]->Finish());
  }
}

const BuiltinRow kChecksumBuiltins[] = {
    {"Checksum", ChecksumBuiltin, 0, 5},
};

// Each takes file, offset and length.
const ScriptBuiltinRow kChecksumScripts[] = {
    {"Adler32", "$Checksum{$Adler321;$Adler322;$Adler323;;$Adler32}", 0},
    {"Crc32", "$Checksum{$Crc321;$Crc322;$Crc323;;$Crc32}", 0},
    {"CRC32", "$Checksum{$CRC321;$CRC322;$CRC323;;$CRC32}", 0},
    {"MD5", "$Checksum{$MD51;$MD52;$MD53;;$MD5}", 0},
    {"Ripemd160", "$Checksum{$Ripemd1601;$Ripemd1602;$Ripemd1603;;$Ripemd160}", 0},
    {"CRC32_MD5", "$Checksum{$CRC32_MD51;$CRC32_MD52;$CRC32_MD53;_;$CRC32;$MD5}", 0},
    {"CRC32_Ripemd160",
     "$Checksum{$CRC32_Ripemd1601;$CRC32_Ripemd1602;$CRC32_Ripemd1603;_;$CRC32;$Ripemd160}", 0},
};

}  // namespace

void RegisterChecksumRows(Instance* instance) {
  RegisterTable(instance, kChecksumBuiltins);
  RegisterTable(instance, kChecksumScripts);
}

}  // namespace script
