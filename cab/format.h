// The cabinet file format's layout, shared by the directory reader and the writer:
//
//   CFHEADER   "MSCF", u32 0, u32 cbCabinet, u32 0, u32 coffFiles, u32 0,
//              u8 minor 3, u8 major 1, u16 cFolders, u16 cFiles, u16 flags,
//              u16 setID, u16 iCabinet
//              [flags & 4: u16 cbCFHeader, u8 cbCFFolder, u8 cbCFData, header reserve]
//              [flags & 1: szCabinetPrev, szDiskPrev] [flags & 2: szCabinetNext, szDiskNext]
//   CFFOLDER   u32 coffCabStart, u16 cCFData, u16 typeCompress, folder reserve
//   CFFILE     (at coffFiles) u32 cbFile, u32 uoffFolderStart, u16 iFolder, u16 date,
//              u16 time, u16 attribs, szName
//   CFDATA     u32 csum, u16 cbData, u16 cbUncomp, data reserve, cbData bytes
//
// All numbers little-endian. A data block split over two cabinets has cbUncomp 0 in its
// first part; the last part carries the real size.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cab {

inline constexpr uint32_t kHeaderSize = 36;
inline constexpr uint32_t kFolderEntrySize = 8;
inline constexpr uint32_t kFileEntrySize = 16;
inline constexpr uint32_t kDataHeaderSize = 8;
inline constexpr uint32_t kBlockSize = 32768;  // uncompressed bytes per data block
// The most a compressed block may hold.
inline constexpr uint32_t kMaxCompressedBlock = kBlockSize + 6144;

inline constexpr uint16_t kFlagPrevious = 0x0001;
inline constexpr uint16_t kFlagNext = 0x0002;
inline constexpr uint16_t kFlagReserve = 0x0004;

inline constexpr uint16_t kCompressionNone = 0;
inline constexpr uint16_t kCompressionMszip = 1;

inline uint16_t Load16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t Load32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline void Store16(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}
inline void Store32(unsigned char* p, uint32_t v) {
  Store16(p, v);
  Store16(p + 2, v >> 16);
}

// The data block checksum: XOR of the little-endian 32-bit words, the one to three bytes
// left over taken in big-endian order, starting from `seed`.
uint32_t BlockChecksum(const unsigned char* data, size_t size, uint32_t seed);

// The csum field of a data block: the checksum of its data, then of its two size fields.
uint32_t DataBlockChecksum(const unsigned char* data, size_t size, uint16_t compressed,
                           uint16_t uncompressed);

}  // namespace cab
