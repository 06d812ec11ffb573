// Data block checksums.
#include "cab/format.h"

namespace cab {

uint32_t BlockChecksum(const unsigned char* data, size_t size, uint32_t seed) {
  uint32_t sum = seed;
  size_t words = size / 4;
  for (size_t i = 0; i < words; ++i, data += 4) sum ^= Load32(data);
  uint32_t rest = 0;
  switch (size % 4) {
    case 3:
      rest |= static_cast<uint32_t>(*data++) << 16;
      [[fallthrough]];
    case 2:
      rest |= static_cast<uint32_t>(*data++) << 8;
      [[fallthrough]];
    case 1:
      rest |= *data;
  }
  return sum ^ rest;
}

uint32_t DataBlockChecksum(const unsigned char* data, size_t size, uint16_t compressed,
                           uint16_t uncompressed) {
  unsigned char sizes[4];
  Store16(sizes, compressed);
  Store16(sizes + 2, uncompressed);
  return BlockChecksum(sizes, 4, BlockChecksum(data, size, 0));
}

}  // namespace cab
