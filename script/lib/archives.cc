// The archive rows of the version library: GZip and GUnzip through zlib's gzip file
// functions, and CabExtract, CabCreate and CabCreateIterator on the cabinet library,
// which report every step to an optional callback script.
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cab/cabinet.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/replacing_file.h"
#include "script/evaluator.h"
#include "script/lib/archive_callback.h"
#include "script/lib/stored_names.h"
#include "script/libraries.h"

namespace script {
namespace {

constexpr size_t kCopyBlock = 4096;

// Status codes of GZip and GUnzip.
enum GzipStatus {
  kGzipOk = 0,
  kGzipInput = 1,
  kGzipOutput = 2,
  kGzipRead = 3,
  kGzipShortWrite = 4,
  kGzipClosePlain = 5,
  kGzipCloseGzip = 6,
};

bool EndsWithGz(const std::string& name) {
  if (name.size() <= 3) return false;
  std::string tail = name.substr(name.size() - 3);
  return tail[0] == '.' && (tail[1] == 'g' || tail[1] == 'G') && (tail[2] == 'z' || tail[2] == 'Z');
}

// The output goes to a temporary file beside the destination and replaces it only once
// it is complete: a failed run never destroys the file it would have replaced.
int Compress(const std::string& source, const std::string& destination) {
  std::FILE* in = platform::OpenStdioFile(source, "rb");
  if (in == nullptr) return kGzipInput;
  platform::ReplacingFile out;
  // zlib writes the temporary file under its own name; `out` only puts it in place.
  gzFile gz = out.Open(destination) ? gzopen(out.host_temporary().c_str(), "wb") : nullptr;
  if (gz == nullptr) {
    std::fclose(in);
    return kGzipOutput;
  }
  int status = kGzipOk;
  unsigned char buffer[kCopyBlock];
  for (;;) {
    size_t got = std::fread(buffer, 1, sizeof buffer, in);
    if (got > 0 && gzwrite(gz, buffer, static_cast<unsigned>(got)) != static_cast<int>(got)) {
      status = kGzipShortWrite;
      break;
    }
    if (got < sizeof buffer) {
      if (std::ferror(in)) status = kGzipRead;
      break;
    }
  }
  if (std::fclose(in) != 0 && status == kGzipOk) status = kGzipClosePlain;
  if (gzclose(gz) != Z_OK && status == kGzipOk) status = kGzipCloseGzip;
  if (status == kGzipOk && !out.Commit()) status = kGzipCloseGzip;
  return status;
}

int Decompress(const std::string& source, const std::string& destination) {
  std::string host = platform::ToHostPath(source);
  gzFile gz = host.empty() ? nullptr : gzopen(host.c_str(), "rb");
  if (gz == nullptr) return kGzipInput;
  platform::ReplacingFile out;
  if (!out.Open(destination)) {
    gzclose(gz);
    return kGzipOutput;
  }
  int status = kGzipOk;
  unsigned char buffer[kCopyBlock];
  for (;;) {
    int got = gzread(gz, buffer, sizeof buffer);
    if (got < 0) {
      status = kGzipRead;
      break;
    }
    if (got == 0) {
      // zlib ends a stream that stops short like a complete one and only says so here.
      int error = Z_OK;
      gzerror(gz, &error);
      if (error != Z_OK) status = kGzipRead;
      break;
    }
    if (std::fwrite(buffer, 1, static_cast<size_t>(got), out.file()) != static_cast<size_t>(got)) {
      status = kGzipShortWrite;
      break;
    }
  }
  // The destination is put in place only when the whole input was good.
  const bool gzip_closed = gzclose(gz) == Z_OK;
  if (status == kGzipOk && !gzip_closed) status = kGzipCloseGzip;
  if (status == kGzipOk && !out.Commit()) status = kGzipClosePlain;
  return status;
}

void GzipBuiltin(Call& call) {
  const bool compress = reinterpret_cast<intptr_t>(call.user_data) == 1;
  std::string name(call.Plain(1));
  std::string source = name;
  std::string destination;
  bool remove_source = !call.Has(2);
  if (call.Has(2)) {
    destination = call.Plain(2);
  } else if (compress) {
    destination = name + ".gz";
  } else if (EndsWithGz(name)) {
    destination = name.substr(0, name.size() - 3);
  } else {
    source = name + ".gz";
    destination = name;
  }
  int status = compress ? Compress(source, destination) : Decompress(source, destination);
  if (status == kGzipOk && remove_source) platform::DeleteFile(source);
  call.WriteInteger(status);
}

std::string Backslashed(std::string_view text) {
  std::string path(text);
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

// ---- CabExtract -------------------------------------------------------------------

const CallbackConstant kExtractConstants[] = {
    {"CabMessageInformation", 0},     {"CabMessagePartialFile", 1}, {"CabMessageCopyFile", 2},
    {"CabMessageFileInformation", 3}, {"CabMessageNextCabinet", 4}, {"CabMessageStart", 17185},
};

enum ExtractMessage {
  kInformation = 0,
  kPartialFile = 1,
  kCopyFile = 2,
  kFileInformation = 3,
  kNextCabinet = 4,
  kStart = 17185
};

// An extracted file on its way to its stored name.
class ExtractedFile : public cab::Output {
 public:
  bool Open(const std::string& windows_path) { return file_.Open(windows_path); }
  bool Write(const void* data, size_t size) override {
    return std::fwrite(data, 1, size, file_.file()) == size;
  }
  // Puts the file in place with the stored date, time and attributes.
  bool Finish(const cab::StoredFile& stored) {
    platform::FileTime local, utc;
    if (!platform::DosDateTimeToFileTime(stored.date, stored.time, &local) ||
        !platform::LocalFileTimeToFileTime(local, &utc)) {
      utc = platform::GetSystemTimeAsFileTime();
    }
    uint32_t attributes = stored.attributes & (cab::kAttributeReadOnly | cab::kAttributeHidden |
                                               cab::kAttributeSystem | cab::kAttributeArchive);
    return file_.Commit(utc, attributes);
  }

 private:
  platform::ReplacingFile file_;
};

class ScriptExtractHandler : public cab::ExtractHandler {
 public:
  ScriptExtractHandler(ArchiveCallback& callback, std::string directory)
      : callback_(callback), directory_(std::move(directory)) {}

  bool refused() const { return refused_; }

  std::string ResolveCabinet(const std::string& directory, const std::string& name) override {
    return platform::ToHostPath(directory + name);
  }

  bool OnCabinet(const cab::CabinetInfo& cabinet) override {
    return callback_.Report(
        kInformation,
        {Text("CabNextCabinet", cabinet.next_cabinet), Text("CabNextDisk", cabinet.next_disk),
         Text("CabCabinetPath", directory_), Number("CabCabinetID", cabinet.set_id),
         Number("CabCabinetNumber", cabinet.set_index)});
  }

  bool OnPartialFile(const cab::StoredFile& file, const cab::CabinetInfo& cabinet) override {
    return callback_.Report(kPartialFile,
                            {Text("CabFilename", file.name),
                             Text("CabCabinetWhereFileStarts", cabinet.previous_cabinet),
                             Text("CabDiskWhereFileStarts", cabinet.previous_disk)});
  }

  bool OnCopyFile(const cab::StoredFile& file, std::unique_ptr<cab::Output>* output) override {
    int32_t copy = 1;
    if (!callback_.Report(kCopyFile,
                          {Text("CabFilename", file.name), Number("CabUncompressedSize", file.size),
                           Number("CabCopyThisFile", 1)},
                          [&] { copy = callback_.MathAnswer("CabCopyThisFile"); })) {
      return false;
    }
    if (copy == 0) return true;
    std::string path;
    // A name that would leave the current directory is refused; the others go on.
    if (!PrepareExtractionPath(file.name, &path)) {
      refused_ = true;
      return true;
    }
    auto extracted = std::make_unique<ExtractedFile>();
    if (!extracted->Open(path)) {
      refused_ = true;
      return true;
    }
    *output = std::move(extracted);
    return true;
  }

  bool OnFileComplete(const cab::StoredFile& file, std::unique_ptr<cab::Output> output) override {
    bool go_on = callback_.Report(kFileInformation, {Text("CabFilename", file.name)});
    if (!static_cast<ExtractedFile*>(output.get())->Finish(file)) refused_ = true;
    return go_on;
  }

  bool OnNextCabinet(const cab::CabinetInfo& current, cab::NextCabinet* next) override {
    int32_t id = next->set_id;
    int32_t index = next->set_index;
    bool go_on =
        callback_.Report(kNextCabinet,
                         {Text("CabNextCabinet", next->name), Text("CabNextDisk", next->disk),
                          Text("CabCabinetPath", directory_), Number("CabCabinetID", id),
                          Number("CabCabinetIndex", index)},
                         [&] {
                           id = callback_.MathAnswer("CabCabinetID");
                           index = callback_.MathAnswer("CabCabinetIndex");
                         });
    (void)current;
    next->set_id = static_cast<uint16_t>(id);
    next->set_index = static_cast<uint16_t>(index);
    return go_on;
  }

 private:
  ArchiveCallback& callback_;
  std::string directory_;
  bool refused_ = false;
};

void CabExtractBuiltin(Call& call) {
  if (call.argc > 3) return;
  std::string path = Backslashed(call.Plain(1));
  ArchiveCallback callback(call, 2, "cabextract", kExtractConstants);
  cab::CabinetInfo info;
  std::string host = platform::ToHostPath(path);
  if (host.empty() || !cab::ReadCabinetInfo(host, &info)) {
    call.Write("0");
    return;
  }
  if (!callback.Report(
          kStart, {Number("CabLength", info.length), Number("CabFolders", info.folders),
                   Number("CabFiles", info.files), Number("CabCabinetID", info.set_id),
                   Number("CabReserveArea", info.has_reserve), Number("CabHasNext", info.has_next),
                   Number("CabHasPrevious", info.has_previous)})) {
    call.Write("0");
    return;
  }
  size_t slash = path.rfind('\\');
  std::string directory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  ScriptExtractHandler handler(callback, directory);
  cab::ExtractResult result = cab::Extract(directory, name, handler);
  call.Write(result == cab::ExtractResult::kSuccess && !handler.refused() ? "1" : "0");
}

// ---- CabCreate and CabCreateIterator ---------------------------------------------

const CallbackConstant kCreateConstants[] = {
    {"CabMessageInvalid", 0},  {"CabMessageBegin", 1},          {"CabMessageFilePlaced", 2},
    {"CabMessageProgress", 3}, {"CabMessageGetNextCabinet", 4}, {"CabMessageEnd", 5},
    {"CabMessageError", 6},
};

enum CreateMessage {
  kBegin = 1,
  kFilePlaced = 2,
  kProgress = 3,
  kGetNextCabinet = 4,
  kEnd = 5,
  kError = 6
};

constexpr int32_t kNoLegalFilenames = 274960;
// An iterator that never runs dry still ends, whether or not its names are accepted:
// twice what one cabinet can list (files and folders) is more than any real use.
constexpr size_t kMaxIterations = 1 << 17;

struct CabEntry {
  bool folder_break = false;
  std::string name;
  std::string host_path;
  uint16_t date = 0, time = 0, attributes = 0;
  uint64_t size = 0;
};

// Accepts a file entry: a relative path to an existing file. Its size, last-write time
// (as local MS-DOS date and time) and attributes are read now.
bool AcceptEntry(const std::string& text, CabEntry* entry) {
  if (text.rfind("\\\\", 0) == 0 || (text.size() >= 3 && text[1] == ':' && text[2] == '\\')) {
    return false;
  }
  // Names that would extract outside the directory they are extracted in are not
  // stored either.
  std::string relative;
  if (!SafeRelativePath(text, &relative)) return false;
  uint32_t attributes = platform::GetFileAttributes(text);
  if (attributes == platform::kInvalidFileAttributes ||
      (attributes & platform::kFileAttributeDirectory)) {
    return false;
  }
  platform::File file;
  platform::FileTime written, local;
  if (!file.Open(text, platform::kGenericRead, platform::Disposition::kOpenExisting) ||
      !file.GetSize(&entry->size) || !file.GetTime(nullptr, nullptr, &written)) {
    return false;
  }
  if (!platform::FileTimeToLocalFileTime(written, &local) ||
      !platform::FileTimeToDosDateTime(local, &entry->date, &entry->time)) {
    entry->date = 0x21;  // 1980-01-01
    entry->time = 0;
  }
  entry->host_path = platform::ToHostPath(text);
  if (entry->host_path.empty()) return false;
  entry->name = text;
  entry->attributes =
      static_cast<uint16_t>(attributes & (cab::kAttributeReadOnly | cab::kAttributeHidden |
                                          cab::kAttributeSystem | cab::kAttributeArchive));
  return true;
}

// Reports the compressor's steps to the callback and keeps the percentage, which never
// goes down.
class ScriptCreateHandler : public cab::CreateHandler {
 public:
  ScriptCreateHandler(ArchiveCallback& callback, int total_files, uint64_t total_bytes)
      : callback_(callback), total_files_(total_files), total_bytes_(total_bytes) {}

  int percent() const { return percent_; }
  void FileCompressed() { ++files_compressed_; }

  void OnBlockCompressed(uint32_t uncompressed, uint32_t compressed) override {
    uncompressed_so_far_ += uncompressed;
    compressed_so_far_ += compressed;
    int64_t compressed_files = std::min<int64_t>(files_compressed_, total_files_ - 1);
    int64_t bytes_part =
        total_bytes_ == 0 ? 0 : static_cast<int64_t>(uncompressed_so_far_ * 90 / total_bytes_);
    Raise((compressed_files * 90 + files_placed_ * 10 + bytes_part) / total_files_);
    // Break in a progress report does not stop the work.
    callback_.Report(kProgress, {Number("CabStage", 1), Number("CabPercent", percent_),
                                 Number("CabTotalUncompressedSize", total_bytes_),
                                 Number("CabUncompressedSizeSoFar", uncompressed_so_far_),
                                 Number("CabCompressedSizeSoFar", compressed_so_far_),
                                 Number("CabTotalFiles", total_files_),
                                 Number("CabFilesCompressedSoFar", files_compressed_),
                                 Number("CabFilesPlacedSoFar", files_placed_)});
  }

  void OnFolderCopied(uint64_t copied, uint64_t folder_size, int files) override {
    while (copied > 10000000) {
      copied /= 8;
      folder_size /= 8;
    }
    int64_t fraction = folder_size == 0 ? 0 : static_cast<int64_t>(copied * 10 / folder_size);
    Raise((static_cast<int64_t>(files_compressed_) * 90 + files_placed_ * 10 + fraction * files) /
          total_files_);
    callback_.Report(kProgress, {Number("CabStage", 2), Number("CabPercent", percent_),
                                 Number("CabTotalUncompressedSize", total_bytes_),
                                 Number("CabUncompressedSizeSoFar", uncompressed_so_far_),
                                 Number("CabCompressedSizeSoFar", compressed_so_far_),
                                 Number("CabTotalFiles", total_files_),
                                 Number("CabFilesCompressedSoFar", files_compressed_),
                                 Number("CabFilesPlacedSoFar", files_placed_),
                                 Number("CabFilesPlacing", files)});
  }

  bool OnFilePlaced(const std::string& cabinet_name, const std::string& stored_name, uint32_t size,
                    bool continuation) override {
    // A file that spans is placed once per cabinet; it counts once.
    if (!continuation) ++files_placed_;
    callback_.Report(
        kFilePlaced,
        {Text("CabFilename", stored_name), Number("CabSize", size),
         Text("CabCabinetFilename", cabinet_name), Number("CabContinuation", continuation),
         Number("CabPercent", percent_), Number("CabTotalFiles", total_files_)});
    return true;
  }

  bool OnNextCabinet(cab::NextCabinetRequest* next) override {
    return callback_.Report(
        kGetNextCabinet,
        {Number("CabCabinetIndex", next->cabinet_index), Text("CabCabinetFilename", next->name),
         Text("CabDiskName", next->disk_name)},
        [&] {
          next->cabinet_index = callback_.MathAnswer("CabCabinetIndex");
          next->name = callback_.TextAnswer("CabCabinetFilename", 255);
          next->disk_name = callback_.TextAnswer("CabDiskName", 255);
        });
  }

 private:
  void Raise(int64_t percent) {
    percent = std::clamp<int64_t>(percent, 0, 100);
    if (percent > percent_) percent_ = static_cast<int>(percent);
  }

  ArchiveCallback& callback_;
  int total_files_;
  uint64_t total_bytes_;
  int files_compressed_ = 0;
  int files_placed_ = 0;
  uint64_t uncompressed_so_far_ = 0;
  uint64_t compressed_so_far_ = 0;
  int percent_ = 0;
};

cab::CreateError PackEntries(const cab::CabinetParameters& parameters,
                             const std::vector<CabEntry>& entries, ScriptCreateHandler& handler) {
  cab::Compressor compressor(parameters, handler);
  cab::CreateError error = compressor.Start();
  for (size_t i = 0; i < entries.size() && error == cab::CreateError::kNone; ++i) {
    const CabEntry& entry = entries[i];
    if (entry.folder_break) {
      error = compressor.FlushFolder();
      continue;
    }
    error =
        compressor.AddFile({entry.host_path, entry.name, entry.date, entry.time, entry.attributes});
    if (error == cab::CreateError::kNone) handler.FileCompressed();
  }
  if (error == cab::CreateError::kNone) error = compressor.FlushCabinet();
  return error;
}

void CabCreateBuiltin(Call& call) {
  const bool iterator = reinterpret_cast<intptr_t>(call.user_data) == 1;
  std::string cabinet = Backslashed(call.Plain(1));
  ArchiveCallback callback(call, iterator ? 3 : 2, "cabcreate", kCreateConstants);

  std::vector<CabEntry> entries;
  int total_files = 0;
  uint64_t total_bytes = 0;
  auto take = [&](const std::string& text) {
    CabEntry entry;
    if (text == "+") {
      entry.folder_break = true;
    } else if (AcceptEntry(text, &entry)) {
      ++total_files;
      total_bytes += entry.size;
    } else {
      return;
    }
    entries.push_back(std::move(entry));
  };
  if (iterator) {
    for (size_t round = 0; round < kMaxIterations && !call.instance->halted(); ++round) {
      std::string text = Backslashed(call.Plain(2));
      if (text.empty()) break;
      take(text);
    }
  } else {
    for (int i = 3; i < call.argc; ++i) take(Backslashed(call.Plain(i)));
  }

  if (total_files == 0) {
    callback.Report(kError, {Number("CabStatusCode", kNoLegalFilenames),
                             Text("CabErrorString", "No legal filenames; folder would be empty"),
                             Number("CabPercent", 0), Number("CabTotalFiles", total_files)});
    call.Write("0");
    return;
  }

  cab::CabinetParameters parameters;
  int32_t media = static_cast<int32_t>(parameters.media_size);
  int32_t threshold = static_cast<int32_t>(parameters.folder_threshold);
  int32_t index = parameters.cabinet_index;
  int32_t disk_index = parameters.disk_index;
  int32_t id = parameters.set_id;
  bool go_on =
      callback.Report(kBegin,
                      {Number("CabMediaSize", media), Number("CabFolderThreshold", threshold),
                       Number("CabCabinetIndex", index), Number("CabDiskIndex", disk_index),
                       Text("CabDiskName", parameters.disk_name), Number("CabCabinetID", id),
                       Number("CabPercent", 0), Number("CabTotalFiles", total_files)},
                      [&] {
                        media = callback.MathAnswer("CabMediaSize");
                        threshold = callback.MathAnswer("CabFolderThreshold");
                        index = callback.MathAnswer("CabCabinetIndex");
                        disk_index = callback.MathAnswer("CabDiskIndex");
                        id = callback.MathAnswer("CabCabinetID");
                      });
  if (!go_on) {
    call.Write("0");
    return;
  }
  parameters.media_size = static_cast<uint32_t>(media);
  parameters.folder_threshold = static_cast<uint32_t>(threshold);
  parameters.cabinet_index = index;
  parameters.disk_index = disk_index;
  parameters.set_id = static_cast<uint16_t>(id);

  size_t slash = cabinet.rfind('\\');
  std::string directory = slash == std::string::npos ? ".\\" : cabinet.substr(0, slash + 1);
  parameters.name = slash == std::string::npos ? cabinet : cabinet.substr(slash + 1);
  std::string host_directory = platform::ToHostPath(directory);

  ScriptCreateHandler handler(callback, total_files, total_bytes);
  cab::CreateError error = cab::CreateError::kCabinetFile;
  if (!host_directory.empty() && !parameters.name.empty()) {
    parameters.directory = host_directory + "/";
    error = PackEntries(parameters, entries, handler);
  }
  int result = error == cab::CreateError::kNone ? 1 : 0;
  if (!result) {
    callback.Report(kError,
                    {Number("CabStatusCode", static_cast<int>(error)),
                     Text("CabErrorString", cab::CreateErrorText(static_cast<int>(error)))});
  }
  callback.Report(kEnd, {Number("CabReturnValue", result), Number("CabPercent", 100),
                         Number("CabTotalFiles", total_files)});
  call.WriteInteger(result);
}

const BuiltinRow kArchiveBuiltins[] = {
    {"GZip", GzipBuiltin, 1, 1},
    {"GUnzip", GzipBuiltin, 0, 1},
    {"CabExtract", CabExtractBuiltin, 0, 1},
    {"CabCreate", CabCreateBuiltin, 0, 3},
    {"CabCreateIterator", CabCreateBuiltin, 1, 2},
};

}  // namespace

void RegisterArchiveRows(Instance* instance) { RegisterTable(instance, kArchiveBuiltins); }

}  // namespace script
