// Patches for a large file with a small part changed: the size of zomapatch's patch
// against `zstd --patch-from`, and the time patchw32.dll's applier takes against
// `zstd -d --patch-from`, measured in the same run on the same files.
//
//   patch_bench [--size-mb N] [--level L]      (defaults: 100 MB, level 3)
//
// The applier does more than zstd: it checks the target's SHA-256 first, checks the
// result's SHA-256, writes through a temporary file, flushes it and renames it.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>

#include "patchlib/apply.h"
#include "patchlib/make_patch.h"
#include "platform/testing/temp_prefix.h"

namespace {

struct Quiet : patchlib::ApplyObserver {
  bool TotalFiles(std::uint32_t) override { return true; }
  bool NewFile(const std::string&) override { return true; }
  bool Progress(std::uint32_t) override { return true; }
  bool Error(const std::string& text) override {
    std::fprintf(stderr, "apply: %s\n", text.c_str());
    return true;
  }
  bool InvalidPatch() override {
    std::fprintf(stderr, "apply: invalid patch\n");
    return true;
  }
};

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream(path, std::ios::binary)
      .write(data.data(), static_cast<std::streamsize>(data.size()));
}

long long FileSize(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

bool Run(const std::string& command) {
  if (std::system(command.c_str()) == 0) return true;
  std::fprintf(stderr, "failed: %s\n", command.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  long size_mb = 100;
  int level = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--size-mb") == 0) size_mb = std::atol(argv[i + 1]);
    if (std::strcmp(argv[i], "--level") == 0) level = std::atoi(argv[i + 1]);
  }
  platform::testing::TempPrefix prefix;
  const std::string dir = prefix.drive_c() + "/bench";
  mkdir(dir.c_str(), 0755);
  mkdir((dir + "/game").c_str(), 0755);

  // Game data is neither random nor uniform: words from a small vocabulary with numbers.
  std::mt19937_64 random(1998);
  const std::size_t size = static_cast<std::size_t>(size_mb) << 20;
  std::string old_data;
  old_data.reserve(size);
  static const char* const kWords[] = {"zoma ", "level ", "sprite ", "map ", "sound ", "0x3f "};
  while (old_data.size() < size) {
    old_data += kWords[random() % 6];
    old_data += std::to_string(random() % 100000);
    old_data += random() % 8 == 0 ? '\n' : ' ';
  }
  old_data.resize(size);
  // 1 % changed: a thousand places, each rewritten over an even share of that.
  std::string new_data = old_data;
  const std::size_t places = 1000, span = size / 100 / places;
  for (std::size_t i = 0; i < places; ++i) {
    const std::size_t at = random() % (size - span);
    for (std::size_t k = 0; k < span; ++k)
      new_data[at + k] = static_cast<char>('A' + random() % 26);
  }
  WriteFile(dir + "/old.dat", old_data);
  WriteFile(dir + "/new.dat", new_data);
  WriteFile(dir + "/game/new.dat", old_data);  // the target: the old version, named as new

  std::string patch, error;
  patchlib::MakeReport report;
  // Name the entry after the target by making it from files of that name.
  mkdir((dir + "/o").c_str(), 0755);
  mkdir((dir + "/n").c_str(), 0755);
  rename((dir + "/old.dat").c_str(), (dir + "/o/new.dat").c_str());
  rename((dir + "/new.dat").c_str(), (dir + "/n/new.dat").c_str());
  auto start = std::chrono::steady_clock::now();
  if (!patchlib::MakePatch(dir + "/o/new.dat", dir + "/n/new.dat", {level, false}, &patch, &report,
                           &error)) {
    std::fprintf(stderr, "make: %s\n", error.c_str());
    return 1;
  }
  const double make_seconds = Seconds(start);
  WriteFile(dir + "/update.rtp", patch);

  const std::string zstd_patch = dir + "/zstd.patch";
  start = std::chrono::steady_clock::now();
  if (!Run("zstd -q -f -" + std::to_string(level) + " --patch-from=" + dir + "/o/new.dat " + dir +
           "/n/new.dat -o " + zstd_patch))
    return 1;
  const double zstd_make_seconds = Seconds(start);

  patchlib::ApplyOptions options;
  options.patch_file = "C:\\bench\\update.rtp";
  options.target_directory = "C:\\bench\\game";
  Quiet quiet;
  start = std::chrono::steady_clock::now();
  const std::uint32_t code = patchlib::ApplyPatchFile(options, quiet);
  const double apply_seconds = Seconds(start);
  if (code != patchlib::kPatchApplied) {
    std::fprintf(stderr, "apply returned %u\n", code);
    return 1;
  }
  start = std::chrono::steady_clock::now();
  if (!Run("zstd -q -f -d --memory=2048MB --patch-from=" + dir + "/o/new.dat " + zstd_patch +
           " -o " + dir + "/zstd-result.dat"))
    return 1;
  const double zstd_apply_seconds = Seconds(start);

  const long long ours = static_cast<long long>(patch.size()), theirs = FileSize(zstd_patch);
  std::printf("file %ld MB, 1%% changed in %zu places, zstd level %d\n", size_mb, places, level);
  std::printf("patch size   zomapatch %lld bytes, zstd --patch-from %lld bytes: %.3fx\n", ours,
              theirs, static_cast<double>(ours) / static_cast<double>(theirs));
  std::printf("make time    zomapatch %.2f s, zstd %.2f s\n", make_seconds, zstd_make_seconds);
  std::printf("apply time   patchw32 %.2f s, zstd -d --patch-from %.2f s: %.2fx\n", apply_seconds,
              zstd_apply_seconds, apply_seconds / zstd_apply_seconds);
  return 0;
}
