// The compressor. Files are compressed block by block into a scratch file as they are
// added; a folder is a run of blocks with the files it holds. When the cabinet is
// flushed the folders are laid out into cabinets no larger than the media size: a
// cabinet takes whole blocks while they fit and then the first part of the next one
// (the format's split block), and lists every file whose data it holds, marked as
// continued from the previous or to the next cabinet where its data crosses the edge.
#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

#include "cab/cabinet.h"
#include "cab/format.h"
#include "cab/mszip.h"
#include "cab/scratch_file.h"

namespace cab {
namespace {

// The most uncompressed data a folder may hold: its offsets are 32-bit and readers
// count in whole blocks.
constexpr uint64_t kMaxFolderBytes = 0x7FFF8000;
constexpr uint32_t kMaxEntries = 0xFFFF;
constexpr size_t kCopyChunk = 64 * 1024;

struct Block {
  uint64_t offset;  // in the scratch file
  uint32_t compressed;
  uint32_t uncompressed;
};

struct Entry {
  std::string name;
  uint32_t size;
  uint32_t offset;  // uncompressed, in the folder
  uint16_t date, time, attributes;
};

struct Folder {
  std::vector<Block> blocks;
  std::vector<Entry> files;
  uint64_t uncompressed = 0;
  uint64_t compressed = 0;

  // The blocks a file's data lies in. An empty file belongs to the block its offset
  // falls in (the last one when it sits at the end).
  size_t FirstBlock(const Entry& e) const { return ClampBlock(e.offset / kBlockSize); }
  size_t LastBlock(const Entry& e) const {
    return e.size == 0 ? FirstBlock(e)
                       : ClampBlock((static_cast<uint64_t>(e.offset) + e.size - 1) / kBlockSize);
  }
  size_t ClampBlock(uint64_t block) const {
    return blocks.empty() ? 0 : static_cast<size_t>(std::min<uint64_t>(block, blocks.size() - 1));
  }
};

// A position in the closed folders: the next byte to place.
struct Cursor {
  size_t folder = 0;
  size_t block = 0;
  uint32_t offset = 0;  // bytes of that block already placed in earlier cabinets
  bool operator==(const Cursor&) const = default;
};

// A data record of one cabinet: a whole block, or part of one.
struct Record {
  size_t block;
  uint32_t start;
  uint32_t length;
  bool final;  // the block's last part: carries its uncompressed size
};

struct CabinetFolder {
  size_t folder;
  std::vector<Record> records;
  std::vector<size_t> files;  // indices into the folder's files, in order
  uint64_t bytes = 0;
};

struct Layout {
  std::vector<CabinetFolder> folders;
  Cursor end;
  uint64_t size = 0;
  size_t file_count = 0;
};

uint32_t EntrySize(const Entry& e) {
  return kFileEntrySize + static_cast<uint32_t>(e.name.size()) + 1;
}

// The name proposed for cabinet `index` of a set: the first one's with its trailing
// number replaced, or with the number added before the extension ("disk1.cab" gives
// "disk2.cab", "set.cab" gives "set2.cab").
std::string NumberedName(const std::string& first, int index) {
  size_t dot = first.rfind('.');
  std::string stem = dot == std::string::npos ? first : first.substr(0, dot);
  std::string extension = dot == std::string::npos ? "" : first.substr(dot);
  while (!stem.empty() && stem.back() >= '0' && stem.back() <= '9') stem.pop_back();
  return stem + std::to_string(index) + extension;
}

}  // namespace

class Compressor::Impl {
 public:
  Impl(const CabinetParameters& parameters, CreateHandler& handler)
      : params_(parameters), handler_(handler) {
    cabinet_index_ = params_.cabinet_index;
    cabinet_name_ = params_.name;
    disk_name_ = params_.disk_name;
  }
  ~Impl() {
    if (scratch_) std::fclose(scratch_);
  }

  CreateError Start() {
    if (!encoder_.ok()) return CreateError::kNoMemory;
    scratch_ = OpenScratchFile();
    return scratch_ ? CreateError::kNone : CreateError::kTemporaryFile;
  }

  CreateError AddFile(const FileToStore& file) {
    if (!scratch_) return CreateError::kTemporaryFile;
    std::FILE* in = std::fopen(file.host_path.c_str(), "rb");
    if (in == nullptr) return CreateError::kOpenFile;
    std::fseek(in, 0, SEEK_END);
    long expected = std::ftell(in);
    std::fseek(in, 0, SEEK_SET);
    if (expected < 0 || static_cast<uint64_t>(expected) > kMaxFolderBytes) {
      std::fclose(in);
      return CreateError::kReadFile;
    }
    if (current_.uncompressed + static_cast<uint64_t>(expected) > kMaxFolderBytes ||
        current_.files.size() >= kMaxEntries) {
      CreateError error = FlushFolder();
      if (error != CreateError::kNone) {
        std::fclose(in);
        return error;
      }
    }
    if (current_.files.empty() && current_.blocks.empty()) encoder_.StartFolder();
    Entry entry{file.stored_name, 0,         static_cast<uint32_t>(current_.uncompressed),
                file.date,        file.time, file.attributes};
    std::vector<unsigned char> buffer(kCopyChunk);
    uint64_t size = 0;
    CreateError error = CreateError::kNone;
    for (;;) {
      size_t got = std::fread(buffer.data(), 1, buffer.size(), in);
      if (got == 0) {
        if (std::ferror(in)) error = CreateError::kReadFile;
        break;
      }
      size += got;
      if (current_.uncompressed + got > kMaxFolderBytes) {
        error = CreateError::kReadFile;  // it grew while being read
        break;
      }
      error = Take(buffer.data(), got);
      if (error != CreateError::kNone) break;
    }
    std::fclose(in);
    if (error != CreateError::kNone) return error;
    entry.size = static_cast<uint32_t>(size);
    current_.files.push_back(std::move(entry));
    if (current_.compressed >= params_.folder_threshold) return FlushFolder();
    return CreateError::kNone;
  }

  CreateError FlushFolder() {
    if (!pending_.empty()) {
      CreateError error = CompressPending();
      if (error != CreateError::kNone) return error;
    }
    if (!current_.files.empty()) closed_.push_back(std::move(current_));
    current_ = Folder();
    return CreateError::kNone;
  }

  CreateError FlushCabinet() {
    CreateError error = FlushFolder();
    if (error != CreateError::kNone) return error;
    if (closed_.empty()) return CreateError::kNone;
    if (flushed_once_) {
      // A later flush starts a cabinet of its own.
      error = AskNextCabinet();
      if (error != CreateError::kNone) return error;
      TakeNextCabinet();
      previous_name_.clear();
    }
    Cursor cursor;
    const Cursor done{closed_.size(), 0, 0};
    while (!(cursor == done)) {
      Layout layout = Plan(cursor, 0);
      if (!(layout.end == done)) {
        if (!have_next_) {
          error = AskNextCabinet();
          if (error != CreateError::kNone) return error;
        }
        layout =
            Plan(cursor, static_cast<uint32_t>(next_.name.size() + next_.disk_name.size() + 2));
      }
      if (layout.end == cursor || layout.file_count > kMaxEntries ||
          layout.folders.size() > kMaxEntries) {
        return CreateError::kCabinetFile;  // the media size cannot hold even one step
      }
      const bool has_next = !(layout.end == done);
      CarryOver(layout.end);
      error = Write(layout, cursor, has_next);
      if (error != CreateError::kNone) return error;
      cursor = layout.end;
      if (has_next) {
        previous_name_ = cabinet_name_;
        previous_disk_ = disk_name_;
        TakeNextCabinet();
      }
    }
    closed_.clear();
    carried_folder_ = SIZE_MAX;
    flushed_once_ = true;
    return CreateError::kNone;
  }

 private:
  CreateError Take(const unsigned char* data, size_t size) {
    while (size > 0) {
      size_t room = kBlockSize - pending_.size();
      size_t n = std::min(room, size);
      pending_.insert(pending_.end(), data, data + n);
      data += n;
      size -= n;
      current_.uncompressed += n;
      if (pending_.size() == kBlockSize) {
        CreateError error = CompressPending();
        if (error != CreateError::kNone) return error;
      }
    }
    return CreateError::kNone;
  }

  CreateError CompressPending() {
    if (!encoder_.CompressBlock(pending_.data(), pending_.size(), &packed_)) {
      return CreateError::kCompression;
    }
    if (std::fseek(scratch_, static_cast<long>(scratch_size_), SEEK_SET) != 0 ||
        std::fwrite(packed_.data(), 1, packed_.size(), scratch_) != packed_.size()) {
      return CreateError::kTemporaryFile;
    }
    Block block{scratch_size_, static_cast<uint32_t>(packed_.size()),
                static_cast<uint32_t>(pending_.size())};
    scratch_size_ += packed_.size();
    current_.blocks.push_back(block);
    current_.compressed += block.compressed;
    handler_.OnBlockCompressed(block.uncompressed, block.compressed);
    pending_.clear();
    return CreateError::kNone;
  }

  CreateError AskNextCabinet() {
    next_.cabinet_index = cabinet_index_ + 1;
    next_.name = NumberedName(params_.name, next_.cabinet_index);
    if (next_.name == cabinet_name_ || written_.count(next_.name)) {
      next_.name = params_.name + "." + std::to_string(next_.cabinet_index);
    }
    next_.disk_name = disk_name_;
    if (!handler_.OnNextCabinet(&next_)) return CreateError::kAborted;
    if (next_.name.size() > 255) next_.name.resize(255);
    if (next_.disk_name.size() > 255) next_.disk_name.resize(255);
    // A next cabinet under a name already written would overwrite part of the set.
    if (next_.name.empty() || next_.name == cabinet_name_ || written_.count(next_.name)) {
      return CreateError::kCabinetFile;
    }
    have_next_ = true;
    return CreateError::kNone;
  }

  void TakeNextCabinet() {
    cabinet_index_ = next_.cabinet_index;
    cabinet_name_ = next_.name;
    disk_name_ = next_.disk_name;
    have_next_ = false;
  }

  // Lays out one cabinet starting at `start`, keeping `next_names` bytes for the names
  // of a next cabinet. A cabinet lists every file of its folders that is not wholly
  // behind it, those still to come included: a folder that goes on in the next cabinet
  // is listed there again (marked as continued), which is how readers pair the two
  // halves of a split folder.
  Layout Plan(Cursor start, uint32_t next_names) const {
    Layout layout;
    uint64_t size = kHeaderSize + next_names;
    if (!previous_name_.empty()) size += previous_name_.size() + previous_disk_.size() + 2;
    const uint64_t media = params_.media_size;
    Cursor c = start;
    while (c.folder < closed_.size()) {
      const Folder& folder = closed_[c.folder];
      const bool new_folder = layout.folders.empty() || layout.folders.back().folder != c.folder;
      uint64_t cost = 0;
      size_t first_file = 0;
      if (new_folder) {
        if (c.folder == carried_folder_) {
          first_file = carried_first_;
        } else {
          while (first_file < folder.files.size() &&
                 folder.LastBlock(folder.files[first_file]) < c.block) {
            ++first_file;
          }
        }
        cost += kFolderEntrySize;
        for (size_t i = first_file; i < folder.files.size(); ++i)
          cost += EntrySize(folder.files[i]);
      }
      uint32_t length = 0;
      bool final = true;
      const bool no_data = folder.blocks.empty();
      if (!no_data) {
        const Block& block = folder.blocks[c.block];
        length = block.compressed - c.offset;
        if (size + cost + kDataHeaderSize + length > media) {
          uint64_t without_data = size + cost + kDataHeaderSize;
          if (without_data >= media) break;
          length = static_cast<uint32_t>(media - without_data);
          final = false;
        }
        cost += kDataHeaderSize + length;
      } else if (size + cost > media && !layout.folders.empty()) {
        break;
      }
      if (new_folder) {
        layout.folders.push_back(CabinetFolder{c.folder, {}, {}, 0});
        for (size_t i = first_file; i < folder.files.size(); ++i) {
          layout.folders.back().files.push_back(i);
        }
        layout.file_count += folder.files.size() - first_file;
      }
      CabinetFolder& part = layout.folders.back();
      size += cost;
      if (!no_data) {
        part.records.push_back(Record{c.block, c.offset, length, final});
        part.bytes += length;
      }
      if (!final) {
        c.offset += length;
        break;
      }
      c.offset = 0;
      if (no_data || ++c.block == folder.blocks.size()) {
        ++c.folder;
        c.block = 0;
      }
    }
    layout.end = c;
    layout.size = size;
    return layout;
  }

  // Whether a file of a cabinet's folder was listed in the previous cabinet too (its
  // folder came over from there), and whether it is listed in the next one (it has data
  // there).
  bool StartsBefore(const Cursor& start, size_t folder_index) const {
    return folder_index == start.folder && (start.block > 0 || start.offset > 0);
  }
  bool GoesOn(size_t file_index, const Cursor& end, size_t folder_index) const {
    return folder_index == end.folder && folder_index == carried_folder_ &&
           file_index >= carried_first_;
  }

  // When a cabinet ends inside a folder, the files of that folder listed in the next
  // cabinet: those with data there, and from then on the same list in every cabinet
  // the folder reaches, so that each cabinet's continued files match the ones before.
  void CarryOver(const Cursor& end) {
    if (end.folder >= closed_.size() || (end.block == 0 && end.offset == 0)) return;
    if (end.folder == carried_folder_) return;
    const Folder& folder = closed_[end.folder];
    size_t first = 0;
    while (first < folder.files.size() && folder.LastBlock(folder.files[first]) < end.block) {
      ++first;
    }
    carried_folder_ = end.folder;
    carried_first_ = first;
  }

  CreateError Write(const Layout& layout, const Cursor& start, bool has_next) {
    std::vector<unsigned char> head;
    auto put16 = [&](uint32_t v) {
      unsigned char b[2];
      Store16(b, v);
      head.insert(head.end(), b, b + 2);
    };
    auto put32 = [&](uint32_t v) {
      unsigned char b[4];
      Store32(b, v);
      head.insert(head.end(), b, b + 4);
    };
    auto put_string = [&](const std::string& s) {
      head.insert(head.end(), s.begin(), s.end());
      head.push_back(0);
    };
    const bool has_previous = !previous_name_.empty();
    uint16_t flags = (has_previous ? kFlagPrevious : 0) | (has_next ? kFlagNext : 0);
    uint32_t strings = 0;
    if (has_previous) strings += previous_name_.size() + previous_disk_.size() + 2;
    if (has_next) strings += next_.name.size() + next_.disk_name.size() + 2;
    uint32_t files_offset = kHeaderSize + strings + kFolderEntrySize * layout.folders.size();
    uint32_t data_offset = files_offset;
    for (const CabinetFolder& part : layout.folders) {
      for (size_t i : part.files) data_offset += EntrySize(closed_[part.folder].files[i]);
    }
    head.insert(head.end(), {'M', 'S', 'C', 'F'});
    put32(0);
    put32(static_cast<uint32_t>(layout.size));
    put32(0);
    put32(files_offset);
    put32(0);
    head.push_back(3);
    head.push_back(1);
    put16(static_cast<uint32_t>(layout.folders.size()));
    put16(static_cast<uint32_t>(layout.file_count));
    put16(flags);
    put16(params_.set_id);
    put16(static_cast<uint32_t>(std::max(0, cabinet_index_ - 1)));
    if (has_previous) {
      put_string(previous_name_);
      put_string(previous_disk_);
    }
    if (has_next) {
      put_string(next_.name);
      put_string(next_.disk_name);
    }
    uint32_t record_offset = data_offset;
    for (const CabinetFolder& part : layout.folders) {
      put32(record_offset);
      put16(static_cast<uint32_t>(part.records.size()));
      put16(kCompressionMszip);
      record_offset += kDataHeaderSize * part.records.size() + part.bytes;
    }
    for (size_t f = 0; f < layout.folders.size(); ++f) {
      const CabinetFolder& part = layout.folders[f];
      const Folder& folder = closed_[part.folder];
      for (size_t i : part.files) {
        const Entry& e = folder.files[i];
        bool before = StartsBefore(start, part.folder);
        bool after = GoesOn(i, layout.end, part.folder);
        uint16_t index = before && after ? kContinuedPreviousAndNext
                         : before        ? kContinuedFromPrevious
                         : after         ? kContinuedToNext
                                         : static_cast<uint16_t>(f);
        put32(e.size);
        put32(e.offset);
        put16(index);
        put16(e.date);
        put16(e.time);
        put16(e.attributes);
        put_string(e.name);
      }
    }

    PendingFile out;
    if (!out.Open(params_.directory + cabinet_name_)) return CreateError::kCabinetFile;
    if (std::fwrite(head.data(), 1, head.size(), out.file()) != head.size()) {
      return CreateError::kCabinetFile;
    }
    std::vector<unsigned char> data;
    for (const CabinetFolder& part : layout.folders) {
      const Folder& folder = closed_[part.folder];
      uint64_t copied = 0;
      for (const Record& record : part.records) {
        const Block& block = folder.blocks[record.block];
        data.resize(kDataHeaderSize + record.length);
        if (std::fseek(scratch_, static_cast<long>(block.offset + record.start), SEEK_SET) != 0 ||
            std::fread(data.data() + kDataHeaderSize, 1, record.length, scratch_) !=
                record.length) {
          return CreateError::kTemporaryFile;
        }
        uint16_t uncompressed = record.final ? static_cast<uint16_t>(block.uncompressed) : 0;
        Store32(data.data(), DataBlockChecksum(data.data() + kDataHeaderSize, record.length,
                                               static_cast<uint16_t>(record.length), uncompressed));
        Store16(data.data() + 4, record.length);
        Store16(data.data() + 6, uncompressed);
        if (std::fwrite(data.data(), 1, data.size(), out.file()) != data.size()) {
          return CreateError::kCabinetFile;
        }
        copied += record.length;
        handler_.OnFolderCopied(copied, part.bytes, static_cast<int>(part.files.size()));
      }
      if (part.records.empty()) handler_.OnFolderCopied(0, 0, static_cast<int>(part.files.size()));
      for (size_t i : part.files) {
        const Entry& e = folder.files[i];
        if (!handler_.OnFilePlaced(cabinet_name_, e.name, e.size,
                                   StartsBefore(start, part.folder))) {
          return CreateError::kAborted;
        }
      }
    }
    if (!out.Commit()) return CreateError::kCabinetFile;
    written_.insert(cabinet_name_);
    return CreateError::kNone;
  }

  CabinetParameters params_;
  CreateHandler& handler_;
  std::FILE* scratch_ = nullptr;
  uint64_t scratch_size_ = 0;
  MszipEncoder encoder_;
  std::vector<unsigned char> pending_;
  std::vector<unsigned char> packed_;
  Folder current_;
  std::vector<Folder> closed_;
  int cabinet_index_;
  std::string cabinet_name_, disk_name_;
  std::string previous_name_, previous_disk_;
  NextCabinetRequest next_;
  bool have_next_ = false;
  bool flushed_once_ = false;
  size_t carried_folder_ = SIZE_MAX;  // the folder that goes on into the next cabinet
  size_t carried_first_ = 0;
  std::set<std::string> written_;
};

Compressor::Compressor(const CabinetParameters& parameters, CreateHandler& handler)
    : impl_(std::make_unique<Impl>(parameters, handler)) {}
Compressor::~Compressor() = default;
CreateError Compressor::Start() { return impl_->Start(); }
CreateError Compressor::AddFile(const FileToStore& file) { return impl_->AddFile(file); }
CreateError Compressor::FlushFolder() { return impl_->FlushFolder(); }
CreateError Compressor::FlushCabinet() { return impl_->FlushCabinet(); }

const char* CreateErrorText(int code) {
  switch (code) {
    case 0:
      return "No error";
    case 1:
      return "Failure opening file to be stored in cabinet";
    case 2:
      return "Failure reading file to be stored in cabinet";
    case 3:
      return "Insufficient memory in FCI";
    case 4:
      return "Could not create a temporary file";
    case 5:
      return "Unknown compression type";
    case 6:
      return "Could not create cabinet file";
    case 7:
      return "Client requested abort";
    case 8:
      return "Failure compressing data";
  }
  return "Unknown error";
}

}  // namespace cab
