// MSZIP blocks through zlib's raw deflate.
#include "cab/mszip.h"

#include "cab/format.h"

namespace cab {

MszipEncoder::MszipEncoder() {
  ok_ =
      deflateInit2(&stream_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
}

MszipEncoder::~MszipEncoder() {
  if (ok_) deflateEnd(&stream_);
}

bool MszipEncoder::CompressBlock(const unsigned char* data, size_t size,
                                 std::vector<unsigned char>* out) {
  if (!ok_ || size > kBlockSize) return false;
  if (deflateReset(&stream_) != Z_OK) return false;
  if (!history_.empty() &&
      deflateSetDictionary(&stream_, history_.data(), static_cast<uInt>(history_.size())) != Z_OK) {
    return false;
  }
  out->resize(2 + deflateBound(&stream_, static_cast<uLong>(size)) + 16);
  (*out)[0] = 'C';
  (*out)[1] = 'K';
  stream_.next_in = const_cast<unsigned char*>(data);
  stream_.avail_in = static_cast<uInt>(size);
  stream_.next_out = out->data() + 2;
  stream_.avail_out = static_cast<uInt>(out->size() - 2);
  if (deflate(&stream_, Z_FINISH) != Z_STREAM_END) return false;
  out->resize(out->size() - stream_.avail_out);
  if (out->size() > kMaxCompressedBlock) return false;
  history_.assign(data, data + size);
  return true;
}

}  // namespace cab
