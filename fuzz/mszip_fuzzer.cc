// The MSZIP path of the cabinet reader: the input becomes the data blocks of one MSZIP
// folder inside a well-formed cabinet, so that every input reaches the decoder.
//
//   input: u8 block count, then per block u16 uncompressed size, u16 length, bytes
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cab/cabinet.h"
#include "cab/format.h"
#include "fuzz/fuzz_input.h"

namespace {

class CountingOutput : public cab::Output {
 public:
  bool Write(const void*, size_t size) override {
    written += size;
    return true;
  }
  size_t written = 0;
};

class TakeAll : public cab::ExtractHandler {
 public:
  bool OnCabinet(const cab::CabinetInfo&) override { return true; }
  bool OnPartialFile(const cab::StoredFile&, const cab::CabinetInfo&) override { return true; }
  bool OnCopyFile(const cab::StoredFile&, std::unique_ptr<cab::Output>* output) override {
    *output = std::make_unique<CountingOutput>();
    return true;
  }
  bool OnFileComplete(const cab::StoredFile& file, std::unique_ptr<cab::Output> output) override {
    fuzz::Require(static_cast<CountingOutput*>(output.get())->written == file.size,
                  "a completed file has its stored size");
    return true;
  }
  bool OnNextCabinet(const cab::CabinetInfo&, cab::NextCabinet*) override { return false; }
};

std::string Cabinet(const std::uint8_t* data, std::size_t size) {
  size_t at = 0;
  auto take16 = [&] {
    uint16_t v = at + 2 <= size ? cab::Load16(data + at) : 0;
    at += 2;
    return v;
  };
  int blocks = size > 0 ? data[at++] % 9 : 0;
  std::string records;
  uint32_t total = 0;
  int count = 0;
  for (; count < blocks && at < size; ++count) {
    uint16_t uncompressed = take16();
    uint16_t length = take16();
    if (at > size) break;
    if (length > size - at) length = static_cast<uint16_t>(size - at);
    unsigned char head[cab::kDataHeaderSize];
    cab::Store32(head, cab::DataBlockChecksum(data + at, length, length, uncompressed));
    cab::Store16(head + 4, length);
    cab::Store16(head + 6, uncompressed);
    records.append(reinterpret_cast<char*>(head), sizeof head);
    records.append(reinterpret_cast<const char*>(data + at), length);
    at += length;
    total += uncompressed;
  }
  const std::string name = "f";
  const uint32_t files_offset = cab::kHeaderSize + cab::kFolderEntrySize;
  const uint32_t data_offset = files_offset + cab::kFileEntrySize + name.size() + 1;
  std::string cabinet(data_offset, '\0');
  unsigned char* p = reinterpret_cast<unsigned char*>(cabinet.data());
  p[0] = 'M', p[1] = 'S', p[2] = 'C', p[3] = 'F';
  cab::Store32(p + 8, data_offset + records.size());
  cab::Store32(p + 16, files_offset);
  p[24] = 3, p[25] = 1;
  cab::Store16(p + 26, 1);
  cab::Store16(p + 28, 1);
  cab::Store16(p + 32, 21554);
  cab::Store32(p + cab::kHeaderSize, data_offset);
  cab::Store16(p + cab::kHeaderSize + 4, count);
  cab::Store16(p + cab::kHeaderSize + 6, cab::kCompressionMszip);
  cab::Store32(p + files_offset, total);
  cab::Store16(p + files_offset + 14, cab::kAttributeArchive);
  cabinet.replace(files_offset + cab::kFileEntrySize, name.size(), name);
  return cabinet + records;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/mszip_fuzz_" + std::to_string(getpid()) +
           ".cab";
  }();
  std::string cabinet = Cabinet(data, size);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(cabinet.data(), 1, cabinet.size(), file);
  std::fclose(file);
  TakeAll handler;
  cab::Extract("", path, handler);
  std::remove(path.c_str());
  return 0;
}
