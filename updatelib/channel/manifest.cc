// Writing and reading manifests.
#include "updatelib/channel/manifest.h"

#include <algorithm>
#include <set>

#include "updatelib/channel/crypto.h"
#include "updatelib/channel/text_fields.h"

namespace castanet {

static constexpr std::string_view kManifestMagic = "castanet-manifest 1";
static constexpr size_t kMaxFiles = 1000000;

std::string PathKey(std::string_view path) {
  std::string key(path);
  for (char& c : key) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return key;
}

bool IsSafeChannelPath(std::string_view path) {
  if (path.empty() || path.size() > 259 || path.front() == '/' || path.back() == '/') return false;
  for (unsigned char c : path) {
    if (c < 0x20 || c == 0x7f || c == '\\' || c == ':') return false;
  }
  size_t start = 0;
  bool first = true;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    std::string_view part = path.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    if (first && PathKey(part) == ".castanet") return false;
    // Windows drops trailing dots and spaces, which would let two names meet.
    if (part.back() == '.' || part.back() == ' ') return false;
    first = false;
    start = end + 1;
  }
  return true;
}

const PatchInfo* Manifest::FindPatch(std::string_view from, std::string_view to) const {
  for (const PatchInfo& patch : patches) {
    if (patch.from_sha256 == from && patch.to_sha256 == to) return &patch;
  }
  return nullptr;
}

std::string SerializeManifest(const Manifest& manifest) {
  std::string text = std::string(kManifestMagic) + "\n";
  text += "channel " + manifest.channel + "\n";
  text += "version " + std::to_string(manifest.version) + "\n";
  text += "created " + std::to_string(manifest.created) + "\n";
  for (const ManifestFile& file : manifest.files) {
    text += "file " + std::to_string(file.size) + " " + file.sha256 + " " +
            std::to_string(file.stored_size) + " " + std::to_string(file.flags) + " " + file.path +
            "\n";
  }
  for (const PatchInfo& patch : manifest.patches) {
    text += "patch " + patch.from_sha256 + " " + patch.to_sha256 + " " +
            std::to_string(patch.size) + "\n";
  }
  return text;
}

bool ParseManifest(std::string_view body, Manifest* manifest, std::string* error) {
  *manifest = Manifest();
  int line_number = 0;
  bool ok = true;
  bool have_version = false;
  auto fail = [&](const std::string& what) {
    *error = "manifest line " + std::to_string(line_number) + ": " + what;
    return ok = false;
  };
  ForEachLine(body, [&](std::string_view line) {
    line_number++;
    if (line_number == 1) return line == kManifestMagic || fail("not a manifest");
    std::vector<std::string_view> words = SplitFields(line, 6);
    if (words.empty()) return true;
    std::string_view kind = words[0];
    uint64_t value = 0;
    if (kind == "channel" && words.size() == 2) {
      manifest->channel = std::string(words[1]);
    } else if (kind == "version" && words.size() == 2 && ParseUint64(words[1], &value)) {
      manifest->version = value;
      have_version = true;
    } else if (kind == "created" && words.size() == 2 && ParseUint64(words[1], &value)) {
      manifest->created = value;
    } else if (kind == "file" && words.size() == 6) {
      ManifestFile file;
      uint64_t flags = 0;
      if (!ParseUint64(words[1], &file.size) || !IsSha256Hex(words[2]) ||
          !ParseUint64(words[3], &file.stored_size) || !ParseUint64(words[4], &flags) ||
          flags > UINT32_MAX || !IsSafeChannelPath(words[5])) {
        return fail("bad file entry");
      }
      if (manifest->files.size() >= kMaxFiles) return fail("too many files");
      file.sha256 = std::string(words[2]);
      file.flags = static_cast<uint32_t>(flags);
      file.path = std::string(words[5]);
      manifest->files.push_back(std::move(file));
    } else if (kind == "patch" && words.size() == 4) {
      PatchInfo patch;
      if (!IsSha256Hex(words[1]) || !IsSha256Hex(words[2]) || !ParseUint64(words[3], &patch.size)) {
        return fail("bad patch entry");
      }
      if (manifest->patches.size() >= kMaxFiles) return fail("too many patches");
      patch.from_sha256 = std::string(words[1]);
      patch.to_sha256 = std::string(words[2]);
      manifest->patches.push_back(std::move(patch));
    } else {
      // Unknown keywords are reserved for later versions of the format; a known keyword
      // with bad fields is an error.
      if (kind == "channel" || kind == "version" || kind == "created") {
        return fail("bad field");
      }
    }
    return true;
  });
  if (!ok) return false;
  if (line_number == 0) return fail("empty manifest");
  if (manifest->channel.empty() || !have_version) {
    *error = "manifest lacks its channel or version";
    return false;
  }
  std::sort(manifest->files.begin(), manifest->files.end(),
            [](const ManifestFile& a, const ManifestFile& b) { return a.path < b.path; });
  std::set<std::string> keys;
  for (const ManifestFile& file : manifest->files) {
    if (!keys.insert(PathKey(file.path)).second) {
      *error = "manifest lists " + file.path + " twice";
      return false;
    }
  }
  // A file that is also a parent directory of another entry cannot be installed.
  for (const ManifestFile& file : manifest->files) {
    std::string key = PathKey(file.path);
    for (size_t slash = key.find('/'); slash != std::string::npos;
         slash = key.find('/', slash + 1)) {
      if (keys.count(key.substr(0, slash))) {
        *error = "manifest uses " + key.substr(0, slash) + " as file and directory";
        return false;
      }
    }
  }
  return true;
}

}  // namespace castanet
