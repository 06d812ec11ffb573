// Cabinets written by the compressor and read back by the decompressor, spanned sets,
// and cabinets that lie: truncated, corrupted, with sizes and links that cannot hold.
#include "cab/cabinet.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "cab/format.h"

namespace cab {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& path, const std::string& data) {
  std::ofstream(path, std::ios::binary) << data;
}

// Text that compresses somewhat, and noise that does not.
std::string Sample(size_t size, unsigned seed, bool noise) {
  std::mt19937 random(seed);
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) {
    data[i] = noise ? static_cast<char>(random()) : static_cast<char>('a' + random() % 7);
  }
  return data;
}

class MemoryOutput : public Output {
 public:
  explicit MemoryOutput(std::string* target) : target_(target) {}
  bool Write(const void* data, size_t size) override {
    if (target_->size() + size > (64u << 20)) return false;
    target_->append(static_cast<const char*>(data), size);
    return true;
  }

 private:
  std::string* target_;
};

// Extracts everything into memory and writes down each event.
class Recorder : public ExtractHandler {
 public:
  bool OnCabinet(const CabinetInfo& cabinet) override {
    events.push_back("cabinet " + std::to_string(cabinet.set_index));
    return true;
  }
  bool OnPartialFile(const StoredFile& file, const CabinetInfo&) override {
    events.push_back("partial " + file.name);
    return true;
  }
  bool OnCopyFile(const StoredFile& file, std::unique_ptr<Output>* output) override {
    events.push_back("copy " + file.name);
    if (file.name == skip) return true;
    pending[file.name].clear();
    *output = std::make_unique<MemoryOutput>(&pending[file.name]);
    return true;
  }
  bool OnFileComplete(const StoredFile& file, std::unique_ptr<Output>) override {
    events.push_back("complete " + file.name);
    done[file.name] = pending[file.name];
    return true;
  }
  bool OnNextCabinet(const CabinetInfo&, NextCabinet* next) override {
    events.push_back("next " + next->name);
    return true;
  }

  std::string skip;
  std::vector<std::string> events;
  std::map<std::string, std::string> pending;
  std::map<std::string, std::string> done;
};

struct Placement {
  std::string cabinet;
  std::string name;
  bool continuation;
};

class Packer : public CreateHandler {
 public:
  void OnBlockCompressed(uint32_t uncompressed, uint32_t) override { compressed += uncompressed; }
  void OnFolderCopied(uint64_t copied, uint64_t size, int) override { EXPECT_LE(copied, size); }
  bool OnFilePlaced(const std::string& cabinet, const std::string& name, uint32_t,
                    bool continuation) override {
    placed.push_back({cabinet, name, continuation});
    return true;
  }
  bool OnNextCabinet(NextCabinetRequest* next) override {
    next->name = "part" + std::to_string(next->cabinet_index) + ".cab";
    next->disk_name = "disk " + std::to_string(next->cabinet_index);
    return true;
  }
  uint64_t compressed = 0;
  std::vector<Placement> placed;
};

class CabinetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("cab_test_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Dir() const { return dir_.string() + "/"; }

  // Writes the files (a "+" name closes the folder) into cabinets of `media` bytes.
  CreateError Pack(const std::vector<std::pair<std::string, std::string>>& files,
                   uint32_t media = 0x7FFFFFFF, Packer* packer = nullptr) {
    Packer local;
    Packer& handler = packer ? *packer : local;
    CabinetParameters parameters;
    parameters.directory = Dir();
    parameters.name = "part1.cab";
    parameters.media_size = media;
    Compressor compressor(parameters, handler);
    CreateError error = compressor.Start();
    for (const auto& [name, data] : files) {
      if (error != CreateError::kNone) break;
      if (name == "+") {
        error = compressor.FlushFolder();
        continue;
      }
      fs::path source = dir_ / ("source_" + std::to_string(source_count_++));
      WriteAll(source, data);
      error = compressor.AddFile({source.string(), name, 0x5A21, 0x6000, kAttributeArchive});
    }
    return error == CreateError::kNone ? compressor.FlushCabinet() : error;
  }

  fs::path dir_;
  int source_count_ = 0;
};

TEST_F(CabinetTest, FoldersRoundTrip) {
  std::vector<std::pair<std::string, std::string>> files = {
      {"a.txt", "hello"}, {"dir\\text.txt", Sample(100000, 1, false)},
      {"+", ""},          {"noise.bin", Sample(70000, 2, true)},
      {"empty", ""},
  };
  ASSERT_EQ(Pack(files), CreateError::kNone);
  CabinetInfo info;
  ASSERT_TRUE(ReadCabinetInfo(Dir() + "part1.cab", &info));
  EXPECT_EQ(info.folders, 2);
  EXPECT_EQ(info.files, 4);
  EXPECT_EQ(info.set_id, 21554);
  EXPECT_EQ(info.length, fs::file_size(dir_ / "part1.cab"));
  EXPECT_FALSE(info.has_next || info.has_previous || info.has_reserve);

  Recorder recorder;
  recorder.skip = "a.txt";
  ASSERT_EQ(Extract(Dir(), "part1.cab", recorder), ExtractResult::kSuccess);
  EXPECT_EQ(recorder.events,
            (std::vector<std::string>{"cabinet 0", "copy a.txt", "copy dir\\text.txt",
                                      "complete dir\\text.txt", "copy noise.bin",
                                      "complete noise.bin", "copy empty", "complete empty"}));
  for (const auto& [name, data] : files) {
    if (name == "+" || name == "a.txt") continue;
    EXPECT_EQ(recorder.done[name], data) << name;
  }
}

// A set spanning five cabinets: every cabinet keeps to the media size, its header says
// its true length, and the whole set comes back; files listed again in later cabinets
// are reported as partial there.
TEST_F(CabinetTest, SpannedSetRoundTrip) {
  std::vector<std::pair<std::string, std::string>> files = {
      {"first.bin", Sample(150000, 3, true)},
      {"second.txt", Sample(90000, 4, false)},
      {"small", "x"},
      {"+", ""},
      {"third.bin", Sample(60000, 5, true)},
  };
  Packer packer;
  const uint32_t media = 50000;
  ASSERT_EQ(Pack(files, media, &packer), CreateError::kNone);
  int cabinets = 0;
  for (int i = 1; fs::exists(dir_ / ("part" + std::to_string(i) + ".cab")); ++i) {
    fs::path path = dir_ / ("part" + std::to_string(i) + ".cab");
    CabinetInfo info;
    ASSERT_TRUE(ReadCabinetInfo(path.string(), &info)) << path;
    EXPECT_LE(fs::file_size(path), media);
    EXPECT_EQ(info.length, fs::file_size(path));
    EXPECT_EQ(info.set_index, i - 1);
    EXPECT_EQ(info.has_previous, i > 1);
    ++cabinets;
  }
  EXPECT_GE(cabinets, 5);
  // Every file is placed once as itself; later placements are continuations.
  std::map<std::string, int> first_placements;
  for (const Placement& p : packer.placed) {
    if (!p.continuation) ++first_placements[p.name];
  }
  for (const auto& [name, data] : files) {
    if (name != "+") {
      EXPECT_EQ(first_placements[name], 1) << name;
    }
  }

  Recorder recorder;
  ASSERT_EQ(Extract(Dir(), "part1.cab", recorder), ExtractResult::kSuccess);
  for (const auto& [name, data] : files) {
    if (name != "+") {
      EXPECT_EQ(recorder.done[name], data) << name;
    }
  }
  EXPECT_EQ(recorder.events.front(), "cabinet 0");
  EXPECT_EQ(recorder.events[1], "copy first.bin");
  EXPECT_EQ(recorder.events[2], "next part2.cab");
  EXPECT_NE(std::find(recorder.events.begin(), recorder.events.end(), "partial first.bin"),
            recorder.events.end());
}

// Sets of many shapes: files that end before the split and files that start after it,
// several folders, folder thresholds. Each must come back whole from its first cabinet.
TEST_F(CabinetTest, SpannedSetsOfManyShapes) {
  std::mt19937 random(15);
  for (int trial = 0; trial < 12; ++trial) {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    std::vector<std::pair<std::string, std::string>> files;
    int count = 1 + random() % 7;
    for (int i = 0; i < count; ++i) {
      size_t size = random() % 4 == 0 ? random() % 100 : random() % 70000;
      files.push_back({"f" + std::to_string(i), Sample(size, random(), random() % 2)});
      if (random() % 3 == 0) files.push_back({"+", ""});
    }
    const uint32_t media = 4000 + random() % 50000;
    ASSERT_EQ(Pack(files, media), CreateError::kNone) << trial;
    Recorder recorder;
    ASSERT_EQ(Extract(Dir(), "part1.cab", recorder), ExtractResult::kSuccess)
        << "trial " << trial << " media " << media;
    for (const auto& [name, data] : files) {
      if (name != "+") {
        EXPECT_EQ(recorder.done[name], data) << "trial " << trial << " " << name;
      }
    }
  }
}

TEST_F(CabinetTest, SpannedSetWithMissingOrWrongPart) {
  ASSERT_EQ(Pack({{"a.bin", Sample(120000, 6, true)}}, 40000), CreateError::kNone);
  fs::rename(dir_ / "part2.cab", dir_ / "away.cab");
  Recorder missing;
  EXPECT_EQ(Extract(Dir(), "part1.cab", missing), ExtractResult::kFailed);
  EXPECT_TRUE(missing.done.empty());
  // A next cabinet that is really the first one again: the set loops.
  fs::copy_file(dir_ / "part1.cab", dir_ / "part2.cab");
  Recorder looping;
  EXPECT_EQ(Extract(Dir(), "part1.cab", looping), ExtractResult::kFailed);
  EXPECT_TRUE(looping.done.empty());
}

TEST_F(CabinetTest, MediaTooSmallIsAnError) {
  EXPECT_EQ(Pack({{"a.bin", Sample(1000, 7, true)}}, 60), CreateError::kCabinetFile);
  EXPECT_FALSE(fs::exists(dir_ / "part1.cab"));
  CabinetParameters parameters;
  parameters.directory = Dir();
  parameters.name = "x.cab";
  Packer packer;
  Compressor compressor(parameters, packer);
  ASSERT_EQ(compressor.Start(), CreateError::kNone);
  EXPECT_EQ(compressor.AddFile({Dir() + "does-not-exist", "n", 0, 0, 0}), CreateError::kOpenFile);
}

// A folder of empty files has no data blocks at all.
TEST_F(CabinetTest, EmptyFilesOnly) {
  ASSERT_EQ(Pack({{"e1", ""}, {"e2", ""}}), CreateError::kNone);
  Recorder recorder;
  ASSERT_EQ(Extract(Dir(), "part1.cab", recorder), ExtractResult::kSuccess);
  EXPECT_EQ(recorder.done.size(), 2u);
  EXPECT_EQ(recorder.done["e2"], "");
}

// Every prefix of a good cabinet, and every single-byte change in its header and
// directory, must end in an orderly way; what is reported complete has its stored size.
TEST_F(CabinetTest, TruncatedAndCorruptedCabinets) {
  ASSERT_EQ(Pack({{"one.txt", Sample(40000, 8, false)}, {"two.bin", Sample(5000, 9, true)}}),
            CreateError::kNone);
  const std::string good = ReadAll(dir_ / "part1.cab");
  const fs::path bad = dir_ / "bad.cab";
  for (size_t cut = 0; cut < good.size(); cut += good.size() / 97 + 1) {
    WriteAll(bad, good.substr(0, cut));
    Recorder recorder;
    ExtractResult result = Extract(Dir(), "bad.cab", recorder);
    EXPECT_NE(result, ExtractResult::kSuccess) << cut;
    EXPECT_EQ(recorder.done.count("two.bin"), 0u) << cut;
  }
  for (size_t at = 0; at < 120 && at < good.size(); ++at) {
    std::string changed = good;
    changed[at] = static_cast<char>(changed[at] ^ 0x5A);
    WriteAll(bad, changed);
    Recorder recorder;
    Extract(Dir(), "bad.cab", recorder);
    for (const auto& [name, data] : recorder.done) {
      EXPECT_LE(data.size(), 40000u) << at;
    }
  }
  // A data byte changed: the block checksum catches it.
  std::string flipped = good;
  flipped[good.size() - 100] ^= 1;
  WriteAll(bad, flipped);
  Recorder recorder;
  EXPECT_EQ(Extract(Dir(), "bad.cab", recorder), ExtractResult::kFailed);
  EXPECT_EQ(recorder.done.count("two.bin"), 0u);
}

TEST_F(CabinetTest, LyingSizesAreRefused) {
  ASSERT_EQ(Pack({{"f", Sample(1000, 10, false)}}), CreateError::kNone);
  std::string cabinet = ReadAll(dir_ / "part1.cab");
  const uint32_t files_offset = Load32(reinterpret_cast<const unsigned char*>(&cabinet[16]));
  // The file claims 100 MB from one 1000-byte block.
  std::string lying = cabinet;
  Store32(reinterpret_cast<unsigned char*>(&lying[files_offset]), 100u << 20);
  WriteAll(dir_ / "lying.cab", lying);
  Recorder big;
  EXPECT_EQ(Extract(Dir(), "lying.cab", big), ExtractResult::kFailed);
  EXPECT_TRUE(big.done.empty());
  // The folder's data starts past the end of the file.
  std::string far = cabinet;
  Store32(reinterpret_cast<unsigned char*>(&far[kHeaderSize]), 0x7FFFFFF0);
  WriteAll(dir_ / "far.cab", far);
  Recorder beyond;
  EXPECT_NE(Extract(Dir(), "far.cab", beyond), ExtractResult::kSuccess);
  EXPECT_TRUE(beyond.done.empty());
  // More files than the directory holds.
  std::string count = cabinet;
  Store16(reinterpret_cast<unsigned char*>(&count[28]), 500);
  WriteAll(dir_ / "count.cab", count);
  CabinetInfo info;
  EXPECT_FALSE(ReadCabinetInfo(Dir() + "count.cab", &info));
}

TEST_F(CabinetTest, HandlerStopsTheWalk) {
  ASSERT_EQ(Pack({{"a", "1"}, {"b", "2"}}), CreateError::kNone);
  struct Stopper : Recorder {
    bool OnFileComplete(const StoredFile& file, std::unique_ptr<Output> out) override {
      Recorder::OnFileComplete(file, std::move(out));
      return false;
    }
  } stopper;
  EXPECT_EQ(Extract(Dir(), "part1.cab", stopper), ExtractResult::kAborted);
  EXPECT_EQ(stopper.done.size(), 1u);
  Recorder none;
  EXPECT_EQ(Extract(Dir(), "absent.cab", none), ExtractResult::kNotCabinet);
}

TEST(CabinetFormat, BlockChecksumFoldsTrailingBytesBigEndian) {
  const unsigned char data[] = {1, 2, 3, 4, 5, 6, 7};
  // Words 0x04030201, then the three bytes 5 6 7 as 0x050607.
  EXPECT_EQ(BlockChecksum(data, 7, 0), 0x04030201u ^ 0x050607u);
  EXPECT_EQ(BlockChecksum(data, 4, 0x11111111), 0x04030201u ^ 0x11111111u);
  EXPECT_EQ(BlockChecksum(data, 0, 7), 7u);
}

}  // namespace
}  // namespace cab
