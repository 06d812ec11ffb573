// zomapatch: makes a patch file that patchw32.dll applies.
//
//   zomapatch [--level N] [--keep-removed] OLD NEW PATCH
//
// OLD and NEW are two versions of one file, or two folders; PATCH is written.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <fstream>

#include "patchlib/make_patch.h"

int main(int argc, char** argv) {
  CLI::App app{"Makes a patch file from an old and a new file or folder."};
  std::string old_path, new_path, patch_path;
  patchlib::MakeOptions options;
  app.add_option("old", old_path, "The old version (file or folder)")->required();
  app.add_option("new", new_path, "The new version (file or folder)")->required();
  app.add_option("patch", patch_path, "The patch file to write")->required();
  app.add_option("--level", options.level, "zstd level (1-22)")->check(CLI::Range(1, 22));
  app.add_flag("--keep-removed", options.keep_removed,
               "Leave files that only the old folder has (no delete entries)");
  CLI11_PARSE(app, argc, argv);

  std::string patch, error;
  patchlib::MakeReport report;
  if (!patchlib::MakePatch(old_path, new_path, options, &patch, &report, &error)) {
    std::fprintf(stderr, "zomapatch: %s\n", error.c_str());
    return 1;
  }
  std::ofstream out(patch_path, std::ios::binary | std::ios::trunc);
  out.write(patch.data(), static_cast<std::streamsize>(patch.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "zomapatch: cannot write %s\n", patch_path.c_str());
    return 1;
  }
  std::printf("%d patched, %d whole, %d deleted, %d unchanged; %zu bytes\n", report.deltas,
              report.wholes, report.deletes, report.unchanged, patch.size());
  return 0;
}
