// MSZIP compression: each block of up to 32 KiB becomes "CK" followed by a complete raw
// deflate stream whose dictionary is the block before it, so that a decoder can start a
// folder at its first block and carry its window from block to block.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cab {

class MszipEncoder {
 public:
  MszipEncoder();
  ~MszipEncoder();
  MszipEncoder(const MszipEncoder&) = delete;
  MszipEncoder& operator=(const MszipEncoder&) = delete;

  bool ok() const { return ok_; }
  // A new folder: the next block has no history.
  void StartFolder() { history_.clear(); }
  // Compresses one block (at most 32768 bytes) into `out` (replaced). False when zlib
  // fails or the result would not fit a data block.
  bool CompressBlock(const unsigned char* data, size_t size, std::vector<unsigned char>* out);

 private:
  z_stream stream_{};
  bool ok_ = false;
  std::vector<unsigned char> history_;
};

}  // namespace cab
