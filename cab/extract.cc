// The decompressor: our own directory walk decides the order of events (cabinet
// entered, partial file, copy, complete, next cabinet) and libmspack decodes the data,
// which also gives us its LZX and Quantum decoders and its checks of block sizes,
// checksums and offsets. Its input is the cabinet files; its output goes through an
// mspack_system of ours straight to the Output the handler supplied.
#include <mspack.h>
#include <sys/stat.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <unordered_set>
#include <utility>
#include <vector>

#include "cab/cabinet.h"
#include "cab/directory.h"

namespace cab {
namespace {

// The name extract() is given: open() hands out the handler's output for it.
constexpr char kOutputName[] = "\x01output";
// A set longer than this is taken as a loop that changes its names.
constexpr size_t kMaxCabinets = 1024;

struct Handle {
  std::FILE* file = nullptr;
  Output* output = nullptr;
};

struct System {
  mspack_system base;
  Output* output = nullptr;  // the output of the file being extracted
};

mspack_file* SystemOpen(mspack_system* self, const char* name, int mode) {
  System* system = reinterpret_cast<System*>(self);
  Handle* handle = new Handle;
  if (mode == MSPACK_SYS_OPEN_WRITE && std::strcmp(name, kOutputName) == 0 && system->output) {
    handle->output = system->output;
  } else if (mode == MSPACK_SYS_OPEN_READ) {
    handle->file = std::fopen(name, "rb");
  }
  if (!handle->file && !handle->output) {
    delete handle;
    return nullptr;
  }
  return reinterpret_cast<mspack_file*>(handle);
}

void SystemClose(mspack_file* file) {
  Handle* handle = reinterpret_cast<Handle*>(file);
  if (handle->file) std::fclose(handle->file);
  delete handle;
}

int SystemRead(mspack_file* file, void* buffer, int bytes) {
  Handle* handle = reinterpret_cast<Handle*>(file);
  if (!handle->file || bytes < 0) return -1;
  size_t got = std::fread(buffer, 1, static_cast<size_t>(bytes), handle->file);
  if (got == 0 && std::ferror(handle->file)) return -1;
  return static_cast<int>(got);
}

int SystemWrite(mspack_file* file, void* buffer, int bytes) {
  Handle* handle = reinterpret_cast<Handle*>(file);
  if (!handle->output || bytes < 0) return -1;
  return handle->output->Write(buffer, static_cast<size_t>(bytes)) ? bytes : -1;
}

int SystemSeek(mspack_file* file, off_t offset, int mode) {
  Handle* handle = reinterpret_cast<Handle*>(file);
  if (!handle->file) return -1;
  int whence = mode == MSPACK_SYS_SEEK_START ? SEEK_SET
               : mode == MSPACK_SYS_SEEK_CUR ? SEEK_CUR
                                             : SEEK_END;
  return fseeko(handle->file, offset, whence) == 0 ? 0 : -1;
}

off_t SystemTell(mspack_file* file) {
  Handle* handle = reinterpret_cast<Handle*>(file);
  return handle->file ? ftello(handle->file) : 0;
}

// libmspack's remarks about bad data go nowhere: the result says it.
void SystemMessage(mspack_file*, const char*, ...) {}
void* SystemAlloc(mspack_system*, size_t bytes) { return std::malloc(bytes); }
void SystemFree(void* pointer) { std::free(pointer); }
void SystemCopy(void* from, void* to, size_t bytes) { std::memmove(to, from, bytes); }

// One cabinet of the set: what its directory says and the entries libmspack made of it,
// in the same order.
struct LoadedCabinet {
  CabinetInfo info;
  std::vector<StoredFile> files;
  std::vector<mscabd_file*> decoder_files;
};

class Session {
 public:
  Session(const std::string& directory, ExtractHandler& handler)
      : directory_(directory), handler_(handler) {
    system_.base = {SystemOpen,    SystemClose, SystemRead, SystemWrite, SystemSeek, SystemTell,
                    SystemMessage, SystemAlloc, SystemFree, SystemCopy,  nullptr};
    decoder_ = mspack_create_cab_decompressor(&system_.base);
  }
  ~Session() {
    if (decoder_) {
      if (head_) decoder_->close(decoder_, head_);
      for (mscabd_cabinet* loose : unattached_) decoder_->close(decoder_, loose);
      mspack_destroy_cab_decompressor(decoder_);
    }
  }

  ExtractResult Run(const std::string& name) {
    if (!decoder_) return ExtractResult::kNotCabinet;
    std::string path = handler_.ResolveCabinet(directory_, name);
    if (path.empty() || !Load(path, nullptr)) return ExtractResult::kNotCabinet;
    if (!handler_.OnCabinet(cabinets_[0].info)) return ExtractResult::kAborted;
    for (size_t k = 0; k < cabinets_.size(); ++k) {
      for (size_t i = 0; i < cabinets_[k].files.size(); ++i) {
        ExtractResult result = ExtractEntry(k, i);
        if (result != ExtractResult::kSuccess) return result;
      }
      if (cabinets_[k].info.has_next && cabinets_.size() == k + 1) {
        ExtractResult result = LoadNext();
        if (result != ExtractResult::kSuccess) return result;
      }
    }
    return ExtractResult::kSuccess;
  }

 private:
  ExtractResult ExtractEntry(size_t k, size_t i) {
    // Copies: the entry may go away when a later cabinet is merged in.
    const StoredFile file = cabinets_[k].files[i];
    if (file.starts_earlier()) {
      return handler_.OnPartialFile(file, cabinets_[k].info) ? ExtractResult::kSuccess
                                                             : ExtractResult::kAborted;
    }
    std::unique_ptr<Output> output;
    if (!handler_.OnCopyFile(file, &output)) return ExtractResult::kAborted;
    if (!output) return ExtractResult::kSuccess;
    // The last folder of a cabinet may go on in the next cabinets, and the decoder reads
    // ahead: before any file of it is decoded, every cabinet that folder runs through is
    // joined. It runs on through a cabinet that holds nothing else.
    const bool last_folder = file.folder_index == kContinuedToNext ||
                             file.folder_index == kContinuedPreviousAndNext ||
                             file.folder_index + 1 == cabinets_[k].info.folders;
    for (size_t last = k; last_folder && cabinets_[last].info.has_next;) {
      if (cabinets_.size() == last + 1) {
        ExtractResult result = LoadNext();
        if (result != ExtractResult::kSuccess) return result;
      }
      ++last;
      if (cabinets_[last].info.folders != 1) break;
    }
    mscabd_file* entry = cabinets_[k].decoder_files[i];
    // Joining a cabinet drops the entries of its first folder when that folder goes on
    // from the one before; a cabinet that lists a file of its own there cannot be read.
    if (live_.count(entry) == 0) return ExtractResult::kFailed;
    system_.output = output.get();
    int error = decoder_->extract(decoder_, entry, kOutputName);
    system_.output = nullptr;
    if (error != MSPACK_ERR_OK) return ExtractResult::kFailed;
    return handler_.OnFileComplete(file, std::move(output)) ? ExtractResult::kSuccess
                                                            : ExtractResult::kAborted;
  }

  ExtractResult LoadNext() {
    if (cabinets_.size() >= kMaxCabinets) return ExtractResult::kFailed;
    const CabinetInfo& current = cabinets_.back().info;
    NextCabinet next;
    next.name = current.next_cabinet;
    next.disk = current.next_disk;
    next.set_id = current.set_id;
    next.set_index = static_cast<uint16_t>(current.set_index + 1);
    if (!handler_.OnNextCabinet(current, &next)) return ExtractResult::kAborted;
    std::string path = handler_.ResolveCabinet(directory_, next.name);
    if (path.empty() || !Load(path, &next)) return ExtractResult::kFailed;
    return handler_.OnCabinet(cabinets_.back().info) ? ExtractResult::kSuccess
                                                     : ExtractResult::kAborted;
  }

  // Opens a cabinet and, for a next one, checks it is the one expected and appends it.
  bool Load(const std::string& path, const NextCabinet* expected) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    // A set that comes back to a cabinet already read would never end.
    if (!seen_.insert({st.st_dev, st.st_ino}).second) return false;
    LoadedCabinet loaded;
    if (!ReadDirectory(path, &loaded.info, &loaded.files)) return false;
    if (expected && (loaded.info.set_id != expected->set_id ||
                     loaded.info.set_index != expected->set_index || !loaded.info.has_previous)) {
      return false;
    }
    paths_.push_back(std::make_unique<std::string>(path));
    mscabd_cabinet* cabinet = decoder_->open(decoder_, paths_.back()->c_str());
    if (cabinet == nullptr) return false;
    for (mscabd_file* f = cabinet->files; f; f = f->next) loaded.decoder_files.push_back(f);
    // The directory we read and the one the decoder read must agree entry by entry, or
    // the sizes we report would not be the sizes it writes.
    bool agree = loaded.decoder_files.size() == loaded.files.size();
    for (size_t i = 0; agree && i < loaded.files.size(); ++i) {
      const mscabd_file* decoded = loaded.decoder_files[i];
      const StoredFile& listed = loaded.files[i];
      agree = decoded->length == listed.size && decoded->offset == listed.folder_offset &&
              loaded.files[i].name == decoded->filename;
    }
    if (!agree) {
      decoder_->close(decoder_, cabinet);
      return false;
    }
    if (head_ == nullptr) {
      head_ = cabinet;
    } else if (decoder_->append(decoder_, tail_, cabinet) != MSPACK_ERR_OK) {
      unattached_.push_back(cabinet);
      return false;
    }
    tail_ = cabinet;
    cabinets_.push_back(std::move(loaded));
    live_.clear();
    for (mscabd_file* f = head_->files; f; f = f->next) live_.insert(f);
    return true;
  }

  std::string directory_;
  ExtractHandler& handler_;
  System system_;
  mscab_decompressor* decoder_ = nullptr;
  mscabd_cabinet* head_ = nullptr;
  mscabd_cabinet* tail_ = nullptr;
  std::vector<mscabd_cabinet*> unattached_;
  std::vector<std::unique_ptr<std::string>> paths_;  // libmspack keeps the name pointers
  std::vector<LoadedCabinet> cabinets_;
  std::set<std::pair<dev_t, ino_t>> seen_;
  std::unordered_set<mscabd_file*> live_;  // the entries of the joined set
};

}  // namespace

std::string ExtractHandler::ResolveCabinet(const std::string& directory, const std::string& name) {
  return directory + name;
}

ExtractResult Extract(const std::string& directory, const std::string& name,
                      ExtractHandler& handler) {
  Session session(directory, handler);
  return session.Run(name);
}

}  // namespace cab
