// Launch file objects: their life, loading in either form, the installation-wide
// files, lookups with their fallback and changes in memory.
#include "clientcfg/launch_file.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

#include "clientcfg/launch_file_internal.h"
#include "clientcfg/settings_store.h"
#include "clientcfg/wrapped_data.h"
#include "platform/ascii.h"
#include "platform/files.h"

namespace clientcfg {
namespace {

using Access = LaunchFileAccess;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// 0x00010000 as a little-endian 32-bit number.
bool BeginsWithRecordMagic(std::string_view bytes) {
  return bytes.substr(0, 4) == std::string_view("\0\0\1\0", 4);
}

// The guard of LoadDefaultLaunchFiles and the two process-wide objects.
struct InstallationFiles {
  std::mutex mutex;
  bool loaded = false;
  LaunchFile default_file;
  LaunchFile extra_file;
};

InstallationFiles& Installation() {
  static InstallationFiles* files = new InstallationFiles;  // lives until exit
  return *files;
}

// Reads a whole file of 10 to 500,000 bytes; the status on failure.
int ReadLaunchFile(const char* path, std::string* bytes) {
  platform::File file;
  if (!file.Open(path, platform::kGenericRead, platform::Disposition::kOpenExisting))
    return kLaunchUnreadable;
  std::uint64_t size = 0;
  if (!file.GetSize(&size)) return kLaunchUnreadable;
  if (size < kLaunchFileMinSize || size > kLaunchFileMaxSize) return kLaunchBadSize;
  try {
    bytes->resize(size);
  } catch (const std::bad_alloc&) {
    return kLaunchNoMemory;
  }
  std::size_t done = 0;
  while (done < size) {
    std::uint32_t got = 0;
    if (!file.Read(bytes->data() + done, static_cast<std::uint32_t>(size - done), &got) || got == 0)
      return kLaunchUnreadable;
    done += got;
  }
  return kLaunchOk;
}

int LoadContents(LaunchFile& file, const std::string& bytes, unsigned flags) {
  if (bytes.size() < kLaunchFileMinSize || bytes.size() > kLaunchFileMaxSize) return kLaunchBadSize;
  EmptyLaunchFile(file);
  if (BeginsWithRecordMagic(bytes)) return LoadLaunchRecord(file, bytes);

  std::optional<std::size_t> wrapped_size = WrappedPayloadSize(bytes, kLaunchFileMagic);
  if (wrapped_size && *wrapped_size > kLaunchTextMaxSize) return kLaunchUnwrapFailed;
  std::optional<std::string> text = UnwrapData(bytes, kLaunchFileMagic);
  if (!text) return kLaunchUnwrapFailed;
  Access::flags(file) = flags;
  int status = ParseLaunchText(file, *text);
  if (status != kLaunchOk) return status;
  Access::loaded(file) = true;
  if (!(flags & kLaunchNoExpiryCheck)) status = CheckLaunchExpiry(file);
  if (status == kLaunchOk && !(flags & kLaunchNoNetworkCheck)) status = CheckLaunchNetwork(file);
  return status;
}

// Loads one installation file into its object; nothing is reported.
void LoadInstallationFile(LaunchFile& file, const std::string& root, const char* name) {
  std::string path = root;
  if (path.empty() || (path.back() != '\\' && path.back() != '/')) path += '\\';
  path += "System\\";
  path += name;
  LoadLaunchFile(&file, path.c_str(), kLaunchNoFallback);
}

// One object's part of a lookup: its status is 0 when found and 105 when not.
// An object that is not loaded is not consulted and keeps the status of its last load.
const LaunchEntry* LookUpIn(LaunchFile& file, std::string_view section, std::string_view key) {
  if (!file.loaded()) return nullptr;
  Access::status(file) = kLaunchOk;
  LaunchLock lock(file);
  const LaunchEntry* entry = FindLaunchEntry(file, section, key);
  if (!entry) Access::status(file) = kLaunchNotFound;
  return entry;
}

}  // namespace

const char* LaunchStatusText(int status) {
  switch (status) {
    case kLaunchOk:
      return "success";
    case kLaunchNoObject:
      return "no launch file object";
    case kLaunchNoPath:
      return "no path, or a text without any section line";
    case kLaunchNotRecord:
      return "not a launch record (it does not begin with 00 00 01 00)";
    case kLaunchNoMemory:
      return "memory exhausted";
    case kLaunchUnreadable:
      return "the file cannot be opened or read";
    case kLaunchUnwrapFailed:
      return "the wrapped container cannot be unwrapped";
    case kLaunchNoDate:
      return "the local date is unavailable for the expiry check";
    case kLaunchExpired:
      return "the file has expired";
    case kLaunchNoNetwork:
      return "the file lacks Network while the installation-wide files have one";
    case kLaunchWrongNetwork:
      return "the file's Network differs from the installation-wide one";
    case kLaunchBadSize:
      return "the file size is below 10 or above 500000 bytes";
    case kLaunchBadName:
      return "a section or key beginning with #";
    case kLaunchNotFound:
      return "key not found";
    default:
      return "unknown status";
  }
}

LaunchLock::LaunchLock(LaunchFile& file) : lock_(Access::lock(file)) {
  held_ =
      lock_.valid() && platform::WaitForMutex(lock_, platform::kInfinite) == platform::kWaitObject0;
}

LaunchLock::~LaunchLock() {
  if (held_) platform::ReleaseMutex(lock_);
}

std::optional<std::string_view> LaunchName(const char* text) {
  if (!text) return std::nullopt;
  while (IsBlank(*text)) ++text;
  if (*text == '#') return std::nullopt;
  std::string_view name(text);
  return name.substr(0, name.find(';'));
}

LaunchEntry* FindLaunchEntry(LaunchFile& file, std::string_view section, std::string_view key) {
  auto& records = Access::records(file);
  for (auto record = records.rbegin(); record != records.rend(); ++record) {
    if (!platform::EqualsIgnoreCase((*record)->name, section)) continue;
    for (int i = (*record)->used - 1; i >= 0; --i) {
      LaunchEntry& entry = (*record)->entries[i];
      if (!entry.deleted && platform::EqualsIgnoreCase(entry.key, key)) return &entry;
    }
  }
  return nullptr;
}

void EmptyLaunchFile(LaunchFile& file) {
  Access::records(file).clear();
  Access::name(file).clear();
  Access::loaded(file) = false;
}

LaunchSectionRecord& AppendLaunchRecord(LaunchFile& file, std::string_view section) {
  auto record = std::make_unique<LaunchSectionRecord>();
  record->name.assign(section.substr(0, kLaunchSectionNameMax));
  Access::records(file).push_back(std::move(record));
  return *Access::records(file).back();
}

LaunchFile* NewLaunchFile() {
  LoadDefaultLaunchFiles();
  LaunchFile* file = new (std::nothrow) LaunchFile;
  if (!file) return nullptr;
  Access::lock(*file) = platform::CreateMutex("");
  return file;
}

void FreeLaunchFile(LaunchFile* file) {
  if (!file) return;
  platform::CloseHandle(Access::lock(*file));
  EmptyLaunchFile(*file);
  delete file;
}

void ClearLaunchFile(LaunchFile* file) {
  if (!file || !file->loaded()) return;
  EmptyLaunchFile(*file);
}

int LoadLaunchBytes(LaunchFile* file, const std::string& bytes, unsigned flags) {
  if (!file) return kLaunchNoObject;
  // The lock is recursive, so the checks' lookups may take it again.
  LaunchLock lock(*file);
  int status;
  try {
    status = LoadContents(*file, bytes, flags);
  } catch (const std::bad_alloc&) {
    status = kLaunchNoMemory;
  }
  if (status != kLaunchOk) EmptyLaunchFile(*file);
  Access::status(*file) = status;
  return status;
}

int LoadLaunchFile(LaunchFile* file, const char* path, unsigned flags) {
  if (!file) return kLaunchNoObject;
  int status = kLaunchNoPath;
  std::string bytes;
  if (path && *path) status = ReadLaunchFile(path, &bytes);
  if (status != kLaunchOk) {
    LaunchLock lock(*file);
    EmptyLaunchFile(*file);
    Access::status(*file) = status;
    return status;
  }
  status = LoadLaunchBytes(file, bytes, flags);
  if (status == kLaunchOk) Access::name(*file) = std::string(path).substr(0, kLaunchNameSize - 1);
  return status;
}

void LoadDefaultLaunchFiles() {
  InstallationFiles& files = Installation();
  std::lock_guard<std::mutex> guard(files.mutex);
  if (files.loaded) return;
  files.loaded = true;
  OwnedText root = GetSettingString(kMainKey, "Root Directory");
  if (!root) return;
  LoadInstallationFile(files.default_file, *root, "default.spi");
  LoadInstallationFile(files.extra_file, *root, "extra.spi");
}

void FreeDefaultLaunchFiles() {
  InstallationFiles& files = Installation();
  std::lock_guard<std::mutex> guard(files.mutex);
  if (!files.loaded) return;
  files.loaded = false;
  EmptyLaunchFile(files.extra_file);
  EmptyLaunchFile(files.default_file);
}

LaunchFile& DefaultLaunchFile() { return Installation().default_file; }
LaunchFile& ExtraLaunchFile() { return Installation().extra_file; }

const char* GetLaunchValue(LaunchFile* file, const char* section, const char* key,
                           const char* default_value) {
  if (file) Access::status(*file) = kLaunchOk;
  std::optional<std::string_view> section_name = LaunchName(section);
  std::optional<std::string_view> key_name = LaunchName(key);
  if (!section_name || !key_name) {
    if (file) Access::status(*file) = kLaunchNotFound;
    return default_value;
  }
  if (file)
    if (const LaunchEntry* entry = LookUpIn(*file, *section_name, *key_name))
      return entry->value.c_str();
  if (file && (file->flags() & kLaunchNoFallback)) return default_value;
  for (LaunchFile* fallback : {&ExtraLaunchFile(), &DefaultLaunchFile()})
    if (const LaunchEntry* entry = LookUpIn(*fallback, *section_name, *key_name))
      return entry->value.c_str();
  return default_value;
}

int GetLaunchInt(LaunchFile* file, const char* section, const char* key, int default_value) {
  const char* value = GetLaunchValue(file, section, key, nullptr);
  return value ? ParseLaunchNumber(value, default_value) : default_value;
}

const char* GetLaunchIndirect(LaunchFile* file, const char* section, const char* key,
                              const char* map_section, const char* default_value) {
  const char* value = GetLaunchValue(file, section, key, default_value);
  if (!value) return nullptr;
  return GetLaunchValue(file, map_section ? map_section : section, value, value);
}

int GetLaunchIndirectInt(LaunchFile* file, const char* section, const char* key,
                         const char* map_section, int default_value) {
  const char* value = GetLaunchIndirect(file, section, key, map_section, nullptr);
  return value ? ParseLaunchNumber(value, default_value) : default_value;
}

int SetLaunchValue(LaunchFile* file, const char* section, const char* key, const char* value) {
  if (!file) return kLaunchNoObject;
  std::optional<std::string_view> section_name = LaunchName(section);
  std::optional<std::string_view> key_name = LaunchName(key);
  if (!section_name || !key_name) return Access::status(*file) = kLaunchBadName;
  std::string_view new_value = value ? value : "";
  new_value = new_value.substr(0, new_value.find(';'));
  try {
    if (LaunchEntry* entry = FindLaunchEntry(*file, *section_name, *key_name)) {
      entry->value.assign(new_value);
      return Access::status(*file) = kLaunchOk;
    }
    section_name = section_name->substr(0, kLaunchSectionNameMax);
    LaunchSectionRecord* target = nullptr;
    auto& records = Access::records(*file);
    for (auto record = records.rbegin(); record != records.rend() && !target; ++record)
      if ((*record)->used < kLaunchEntriesPerRecord &&
          platform::EqualsIgnoreCase((*record)->name, *section_name))
        target = record->get();
    if (!target) target = &AppendLaunchRecord(*file, *section_name);
    LaunchEntry& entry = target->entries[target->used];
    entry.key.assign(*key_name);
    entry.value.assign(new_value);
    entry.deleted = false;
    ++target->used;
  } catch (const std::bad_alloc&) {
    return Access::status(*file) = kLaunchNoMemory;
  }
  return Access::status(*file) = kLaunchOk;
}

int SetLaunchInt(LaunchFile* file, const char* section, const char* key, int number) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", number);
  return SetLaunchValue(file, section, key, text);
}

int DeleteLaunchValue(LaunchFile* file, const char* section, const char* key) {
  if (!file) return kLaunchNoObject;
  std::optional<std::string_view> section_name = LaunchName(section);
  std::optional<std::string_view> key_name = LaunchName(key);
  if (section_name && key_name) {
    LaunchLock lock(*file);
    while (LaunchEntry* entry = FindLaunchEntry(*file, *section_name, *key_name)) {
      entry->deleted = true;
      std::string().swap(entry->key);
      std::string().swap(entry->value);
      for (auto& record : Access::records(*file))
        if (entry >= record->entries.data() && entry < record->entries.data() + record->used)
          ++record->deleted;
    }
  }
  return Access::status(*file) = kLaunchNotFound;
}

}  // namespace clientcfg
