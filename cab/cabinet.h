// Cabinet archives: a decompressor that walks a cabinet or a set of cabinets and asks
// its caller what to do at every step, and a compressor that packs files into MSZIP
// folders and spans them over as many cabinets as the media size needs.
//
// Paths given to and reported by this library are host paths; stored names are the
// texts kept in the cabinet (backslash-separated, as written by their creator).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace cab {

// Folder indices of files whose data crosses a cabinet boundary.
inline constexpr uint16_t kContinuedFromPrevious = 0xFFFD;
inline constexpr uint16_t kContinuedToNext = 0xFFFE;
inline constexpr uint16_t kContinuedPreviousAndNext = 0xFFFF;

// Stored attribute bits (the DOS ones; others are kept but have no meaning here).
inline constexpr uint16_t kAttributeReadOnly = 0x01;
inline constexpr uint16_t kAttributeHidden = 0x02;
inline constexpr uint16_t kAttributeSystem = 0x04;
inline constexpr uint16_t kAttributeArchive = 0x20;
inline constexpr uint16_t kAttributeExecute = 0x40;
inline constexpr uint16_t kAttributeUtf8Name = 0x80;

// What a cabinet's header says about it.
struct CabinetInfo {
  std::string path;  // host path it was read from
  uint32_t length = 0;
  uint16_t folders = 0;
  uint16_t files = 0;
  uint16_t set_id = 0;
  uint16_t set_index = 0;
  bool has_reserve = false;
  bool has_previous = false;
  bool has_next = false;
  std::string previous_cabinet, previous_disk;
  std::string next_cabinet, next_disk;
};

// One file entry of a cabinet's directory.
struct StoredFile {
  std::string name;
  uint32_t size = 0;
  uint32_t folder_offset = 0;
  uint16_t folder_index = 0;
  uint16_t date = 0;  // MS-DOS date and time words
  uint16_t time = 0;
  uint16_t attributes = 0;

  bool starts_earlier() const {
    return folder_index == kContinuedFromPrevious || folder_index == kContinuedPreviousAndNext;
  }
};

// Reads a cabinet's header and directory; false when the file is not a well-formed
// cabinet. Sizes and counts are checked against the file, never trusted.
bool ReadCabinetInfo(const std::string& host_path, CabinetInfo* info);

// Where the bytes of one extracted file go. Dropping an output without the handler
// committing it must leave nothing behind.
class Output {
 public:
  virtual ~Output() = default;
  virtual bool Write(const void* data, size_t size) = 0;
};

// The cabinet a set continues with, as the current cabinet names it. The handler may
// change the identifier and index the next cabinet must carry.
struct NextCabinet {
  std::string name;
  std::string disk;
  uint16_t set_id = 0;
  uint16_t set_index = 0;
};

class ExtractHandler {
 public:
  virtual ~ExtractHandler() = default;
  // Cabinets are named relative to the directory given to Extract; the default joins
  // the two. Returns the host path to open, or "" when there is none.
  virtual std::string ResolveCabinet(const std::string& directory, const std::string& name);
  // Each cabinet entered, the first included. False aborts.
  virtual bool OnCabinet(const CabinetInfo& cabinet) = 0;
  // A file listed in this cabinet whose data starts in an earlier one. False aborts.
  virtual bool OnPartialFile(const StoredFile& file, const CabinetInfo& cabinet) = 0;
  // A file to extract: set *output to copy it, leave it empty to skip it; false aborts.
  virtual bool OnCopyFile(const StoredFile& file, std::unique_ptr<Output>* output) = 0;
  // Every byte of the file went to `output`; the handler closes it and puts it in place.
  // False aborts.
  virtual bool OnFileComplete(const StoredFile& file, std::unique_ptr<Output> output) = 0;
  // The set continues in another cabinet; false aborts.
  virtual bool OnNextCabinet(const CabinetInfo& current, NextCabinet* next) = 0;
};

enum class ExtractResult {
  kSuccess,
  kNotCabinet,  // the first cabinet could not be opened or read
  kAborted,     // the handler said stop
  kFailed,      // bad data, a missing or wrong next cabinet, an output that failed
};

// Walks the cabinet `name` in `directory` and every cabinet it continues into.
ExtractResult Extract(const std::string& directory, const std::string& name,
                      ExtractHandler& handler);

// Error codes of the compressor.
enum class CreateError : int {
  kNone = 0,
  kOpenFile = 1,  // a file to be stored could not be opened
  kReadFile = 2,  // ... or read
  kNoMemory = 3,
  kTemporaryFile = 4,  // a temporary file could not be created or written
  kCompressionType = 5,
  kCabinetFile = 6,  // the cabinet could not be created or written
  kAborted = 7,      // the handler asked to stop
  kCompression = 8,
};

struct CabinetParameters {
  std::string directory;  // host directory the cabinets are written in ("" = current)
  std::string name;       // the first cabinet's file name
  std::string disk_name;
  uint32_t media_size = 0x7FFFFFFF;        // largest cabinet file
  uint32_t folder_threshold = 0x7FFFFFFF;  // compressed size at which a folder closes
  uint16_t set_id = 21554;
  int cabinet_index = 1;  // 1 for the first cabinet of a set
  int disk_index = 0;
};

// The cabinet a spanning set continues with: index, file name and disk name. The handler
// receives the compressor's proposal and may change it.
struct NextCabinetRequest {
  int cabinet_index = 0;
  std::string name;
  std::string disk_name;
};

class CreateHandler {
 public:
  virtual ~CreateHandler() = default;
  // A 32 KiB block was compressed: its sizes before and after.
  virtual void OnBlockCompressed(uint32_t uncompressed, uint32_t compressed) = 0;
  // Part of a folder was copied into a cabinet: bytes so far out of the folder's
  // compressed size, and the number of files that folder's part holds.
  virtual void OnFolderCopied(uint64_t copied, uint64_t folder_size, int files) = 0;
  // A file entry went into a cabinet; `continuation` when it continues from the previous
  // one. False aborts.
  virtual bool OnFilePlaced(const std::string& cabinet_name, const std::string& stored_name,
                            uint32_t size, bool continuation) = 0;
  // The set needs a further cabinet. False aborts.
  virtual bool OnNextCabinet(NextCabinetRequest* next) = 0;
};

// A file to store: its stored name, MS-DOS date and time and attributes.
struct FileToStore {
  std::string host_path;
  std::string stored_name;
  uint16_t date = 0;
  uint16_t time = 0;
  uint16_t attributes = 0;
};

class Compressor {
 public:
  Compressor(const CabinetParameters& parameters, CreateHandler& handler);
  ~Compressor();
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;

  // Creates the temporary store the compressed data waits in.
  CreateError Start();
  // Compresses a file into the current folder (MSZIP).
  CreateError AddFile(const FileToStore& file);
  // Closes the current folder: the next file starts a new one.
  CreateError FlushFolder();
  // Writes everything added so far as a cabinet (or a set when it spans).
  CreateError FlushCabinet();

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

// The message text of a compressor error code.
const char* CreateErrorText(int code);

}  // namespace cab
