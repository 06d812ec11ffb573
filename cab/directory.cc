// The cabinet header and directory reader.
#include "cab/directory.h"

#include <cstdio>
#include <memory>

#include "cab/format.h"

namespace cab {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

class Reader {
 public:
  explicit Reader(std::FILE* file) : file_(file) {}
  bool Bytes(unsigned char* out, size_t n) { return std::fread(out, 1, n, file_) == n; }
  bool U8(uint8_t* v) { return Bytes(v, 1); }
  bool U16(uint16_t* v) {
    unsigned char b[2];
    if (!Bytes(b, 2)) return false;
    *v = Load16(b);
    return true;
  }
  bool U32(uint32_t* v) {
    unsigned char b[4];
    if (!Bytes(b, 4)) return false;
    *v = Load32(b);
    return true;
  }
  bool Skip(long n) { return std::fseek(file_, n, SEEK_CUR) == 0; }
  bool Seek(long at) { return std::fseek(file_, at, SEEK_SET) == 0; }
  // A NUL-terminated string of at most 255 characters.
  bool String(std::string* out) {
    out->clear();
    for (;;) {
      int c = std::fgetc(file_);
      if (c == EOF) return false;
      if (c == 0) return true;
      if (out->size() >= 255) return false;
      out->push_back(static_cast<char>(c));
    }
  }

 private:
  std::FILE* file_;
};

}  // namespace

bool ReadDirectory(const std::string& host_path, CabinetInfo* info,
                   std::vector<StoredFile>* files) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(host_path.c_str(), "rb"));
  if (!file) return false;
  if (std::fseek(file.get(), 0, SEEK_END) != 0) return false;
  long file_size = std::ftell(file.get());
  if (file_size < static_cast<long>(kHeaderSize) || std::fseek(file.get(), 0, SEEK_SET) != 0) {
    return false;
  }
  Reader in(file.get());
  unsigned char header[kHeaderSize];
  if (!in.Bytes(header, sizeof header)) return false;
  if (header[0] != 'M' || header[1] != 'S' || header[2] != 'C' || header[3] != 'F') return false;
  CabinetInfo cab;
  cab.path = host_path;
  cab.length = Load32(header + 8);
  uint32_t files_offset = Load32(header + 16);
  if (header[25] != 1) return false;  // major version
  cab.folders = Load16(header + 26);
  cab.files = Load16(header + 28);
  uint16_t flags = Load16(header + 30);
  cab.set_id = Load16(header + 32);
  cab.set_index = Load16(header + 34);
  cab.has_previous = flags & kFlagPrevious;
  cab.has_next = flags & kFlagNext;
  cab.has_reserve = flags & kFlagReserve;
  if (cab.length < kHeaderSize || cab.length > static_cast<uint64_t>(file_size)) return false;
  uint8_t folder_reserve = 0;
  if (cab.has_reserve) {
    uint16_t header_reserve;
    uint8_t data_reserve;
    if (!in.U16(&header_reserve) || !in.U8(&folder_reserve) || !in.U8(&data_reserve) ||
        !in.Skip(header_reserve)) {
      return false;
    }
  }
  if (cab.has_previous && (!in.String(&cab.previous_cabinet) || !in.String(&cab.previous_disk))) {
    return false;
  }
  if (cab.has_next && (!in.String(&cab.next_cabinet) || !in.String(&cab.next_disk))) {
    return false;
  }
  for (uint16_t i = 0; i < cab.folders; ++i) {
    uint32_t data_start;
    uint16_t blocks, compression;
    if (!in.U32(&data_start) || !in.U16(&blocks) || !in.U16(&compression) ||
        !in.Skip(folder_reserve) || data_start > cab.length) {
      return false;
    }
  }
  if (cab.files == 0 || files_offset >= cab.length || !in.Seek(files_offset)) return false;
  std::vector<StoredFile> entries;
  for (uint16_t i = 0; i < cab.files; ++i) {
    StoredFile entry;
    if (!in.U32(&entry.size) || !in.U32(&entry.folder_offset) || !in.U16(&entry.folder_index) ||
        !in.U16(&entry.date) || !in.U16(&entry.time) || !in.U16(&entry.attributes) ||
        !in.String(&entry.name) || entry.name.empty()) {
      return false;
    }
    if (entry.folder_index < kContinuedFromPrevious && entry.folder_index >= cab.folders) {
      return false;
    }
    if (files) entries.push_back(std::move(entry));
  }
  if (std::ftell(file.get()) > static_cast<long>(cab.length)) return false;
  *info = std::move(cab);
  if (files) *files = std::move(entries);
  return true;
}

bool ReadCabinetInfo(const std::string& host_path, CabinetInfo* info) {
  return ReadDirectory(host_path, info, nullptr);
}

}  // namespace cab
