// The patch maker. Trees are walked in name order so the same inputs give the same
// patch; names are stored with "\" separators, as the applier joins them to a Windows
// target folder.
#include "patchlib/make_patch.h"

#include <dirent.h>
#include <sys/stat.h>
#include <zstd.h>

#include <algorithm>
#include <deque>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "patchlib/patch_file.h"

namespace patchlib {
namespace {

using CCtx = std::unique_ptr<ZSTD_CCtx, size_t (*)(ZSTD_CCtx*)>;

int WindowLogFor(std::uint64_t size) {
  int log = 10;
  while (log < 31 && (UINT64_C(1) << log) < size) log++;
  return log;
}

bool ReadFile(const std::string& path, std::string* contents, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (!in.good() && !in.eof()) {
    *error = "cannot read " + path;
    return false;
  }
  *contents = buffer.str();
  if (contents->size() > kMaxFileSize) {
    *error = path + " is larger than 2 GiB";
    return false;
  }
  return true;
}

bool IsDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Every regular file below root: name ("\"-separated) to host path.
bool ListTree(const std::string& root, const std::string& prefix,
              std::map<std::string, std::string>* files, std::string* error) {
  DIR* dir = opendir(root.c_str());
  if (dir == nullptr) {
    *error = "cannot list " + root;
    return false;
  }
  std::vector<std::string> names;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  for (const std::string& name : names) {
    std::string host = root + "/" + name;
    std::string stored = prefix.empty() ? name : prefix + "\\" + name;
    if (IsDirectory(host)) {
      if (!ListTree(host, stored, files, error)) return false;
    } else {
      (*files)[stored] = host;
    }
  }
  return true;
}

bool Compress(const std::string& contents, int level, std::string* frame) {
  CCtx cctx(ZSTD_createCCtx(), ZSTD_freeCCtx);
  ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_compressionLevel, level);
  frame->resize(ZSTD_compressBound(contents.size()));
  size_t size =
      ZSTD_compress2(cctx.get(), frame->data(), frame->size(), contents.data(), contents.size());
  if (ZSTD_isError(size)) return false;
  frame->resize(size);
  return true;
}

}  // namespace

bool MakeDelta(const std::string& old_contents, const std::string& new_contents, int level,
               std::string* delta) {
  CCtx cctx(ZSTD_createCCtx(), ZSTD_freeCCtx);
  ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_compressionLevel, level);
  // The window reaches from the end of the new contents back over the old ones, which
  // stand before them as the prefix; long-distance matching finds the moved blocks.
  ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_windowLog,
                         WindowLogFor(old_contents.size() + new_contents.size()));
  ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_enableLongDistanceMatching, 1);
  ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_nbWorkers, 1);
  ZSTD_CCtx_refPrefix(cctx.get(), old_contents.data(), old_contents.size());
  delta->resize(ZSTD_compressBound(new_contents.size()));
  size_t size = ZSTD_compress2(cctx.get(), delta->data(), delta->size(), new_contents.data(),
                               new_contents.size());
  if (ZSTD_isError(size)) return false;
  delta->resize(size);
  return true;
}

bool MakePatch(const std::string& old_path, const std::string& new_path, const MakeOptions& options,
               std::string* patch, MakeReport* report, std::string* error) {
  *report = MakeReport();
  std::map<std::string, std::string> old_files, new_files;
  if (IsDirectory(new_path)) {
    if (!IsDirectory(old_path)) {
      *error = old_path + " is not a folder";
      return false;
    }
    if (!ListTree(old_path, "", &old_files, error) || !ListTree(new_path, "", &new_files, error))
      return false;
  } else {
    std::string name = new_path.substr(new_path.find_last_of('/') + 1);
    new_files[name] = new_path;
    old_files[name] = old_path;
  }

  Patch result;
  std::deque<std::string> data;  // entries' bytes; a deque keeps views valid
  for (const auto& [name, host] : new_files) {
    if (!IsSafeEntryName(name)) {
      *error = "cannot carry the name " + name;
      return false;
    }
    std::string new_contents, old_contents;
    if (!ReadFile(host, &new_contents, error)) return false;
    Entry entry;
    entry.name = name;
    entry.result_size = new_contents.size();
    entry.result_sha256 = Sha256(new_contents);
    auto old = old_files.find(name);
    std::string& frame = data.emplace_back();
    if (!Compress(new_contents, options.level, &frame)) {
      *error = "cannot compress " + host;
      return false;
    }
    entry.action = Action::kWhole;
    if (old != old_files.end()) {
      if (!ReadFile(old->second, &old_contents, error)) return false;
      if (old_contents == new_contents) {
        report->unchanged++;
        data.pop_back();
        continue;
      }
      entry.has_source = true;
      entry.source_size = old_contents.size();
      entry.source_sha256 = Sha256(old_contents);
      std::string delta;
      if (MakeDelta(old_contents, new_contents, options.level, &delta) &&
          delta.size() < frame.size()) {
        frame = std::move(delta);
        entry.action = Action::kDelta;
      }
    }
    entry.data = frame;
    (entry.action == Action::kDelta ? report->deltas : report->wholes)++;
    result.entries.push_back(std::move(entry));
  }
  if (!options.keep_removed) {
    for (const auto& [name, host] : old_files) {
      if (new_files.count(name)) continue;
      std::string old_contents;
      if (!ReadFile(host, &old_contents, error)) return false;
      Entry entry;
      entry.action = Action::kDelete;
      entry.has_source = true;
      entry.name = name;
      entry.source_size = old_contents.size();
      entry.source_sha256 = Sha256(old_contents);
      report->deletes++;
      result.entries.push_back(std::move(entry));
    }
  }
  *patch = SerializePatch(result);
  return true;
}

}  // namespace patchlib
