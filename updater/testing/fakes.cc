// Fakes for the updater's tests.
#include "updater/testing/fakes.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "updater/launch_record_fields.h"

namespace zoma::testing {

std::string FakeSystemServices::Key(const std::string& path) {
  std::string key;
  for (char c : path)
    key.push_back(c == '/' ? '\\' : static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  // "X\.\Y" is "X\Y".
  for (std::size_t at; (at = key.find("\\.\\")) != std::string::npos;) key.erase(at, 2);
  while (key.size() > 3 && key.back() == '\\') key.pop_back();
  return key;
}

std::optional<std::string> FakeSystemServices::File(const std::string& path) const {
  auto it = files.find(Key(path));
  if (it == files.end()) return std::nullopt;
  return it->second;
}

std::vector<std::string> FakeSystemServices::LogLines(const std::string& path) const {
  std::vector<std::string> lines;
  std::string text = File(path).value_or("");
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    std::string line = text.substr(start, end - start);
    std::size_t stamp_end = line.find("]  ");
    lines.push_back(stamp_end == std::string::npos ? line : line.substr(stamp_end + 3));
    start = end == std::string::npos ? text.size() : end + 1;
  }
  return lines;
}

bool FakeSystemServices::IsRegularFile(const std::string& path) {
  return files.count(Key(path)) > 0;
}

bool FakeSystemServices::Exists(const std::string& path) {
  return files.count(Key(path)) > 0 || directories.count(Key(path)) > 0;
}

bool FakeSystemServices::CopyFile(const std::string& from, const std::string& to,
                                  bool fail_if_exists) {
  copies.push_back(from + " -> " + to);
  auto source = files.find(Key(from));
  if (source == files.end()) return false;
  if (fail_if_exists && files.count(Key(to))) return false;
  files[Key(to)] = source->second;
  return true;
}

bool FakeSystemServices::DeleteFile(const std::string& path) { return files.erase(Key(path)) > 0; }

bool FakeSystemServices::RemoveDirectory(const std::string& path) {
  std::string key = Key(path);
  for (const auto& [name, content] : files)
    if (name.rfind(key + "\\", 0) == 0) return false;
  return directories.erase(key) > 0;
}

bool FakeSystemServices::CreateDirectoryTree(const std::string& path) {
  directories.insert(Key(path));
  return true;
}

bool FakeSystemServices::RemoveDirectoryTree(const std::string& path) {
  std::string key = Key(path);
  for (auto it = files.begin(); it != files.end();)
    it = it->first.rfind(key + "\\", 0) == 0 ? files.erase(it) : std::next(it);
  directories.erase(key);
  return true;
}

std::optional<std::string> FakeSystemServices::ReadFileHead(const std::string& path,
                                                            std::size_t max_bytes) {
  std::optional<std::string> content = File(path);
  if (content && content->size() > max_bytes) content->resize(max_bytes);
  return content;
}

bool FakeSystemServices::AppendToFile(const std::string& path, const std::string& text) {
  files[Key(path)] += text;
  return true;
}

bool FakeSystemServices::StartProcess(const std::string& line) {
  started.push_back(line);
  return start_succeeds;
}

std::optional<std::string> FakeSystemServices::GetEnvironment(const std::string& name) {
  auto it = environment.find(name);
  if (it == environment.end()) return std::nullopt;
  return it->second;
}

// ---- The fake library --------------------------------------------------------------

FakeLibrary* FakeLibrary::current = nullptr;

namespace {

FakeLibrary& Fake() { return *FakeLibrary::current; }
MrbHandle FakeHandle() { return reinterpret_cast<MrbHandle>(0x5eed); }

MrbHandle MRB_CALL FakeInit(const MrbInitRecord* init) {
  FakeLibrary& fake = Fake();
  fake.init = *init;
  ++fake.attempts;
  fake.calls_made.push_back(std::string("init ") + init->channel_url + "|" +
                            init->target_directory + "|" + std::to_string(init->options) + "|" +
                            init->user_agent);
  if (init->credentials) {
    char buffer[MRB_CREDENTIALS_BUFFER_SIZE];
    std::memset(buffer, 0x5a, sizeof buffer);
    init->credentials(buffer);
    fake.credentials = buffer;
  }
  if (!fake.init_succeeds) return nullptr;
  if (init->handle_out) *init->handle_out = FakeHandle();
  return FakeHandle();
}

int MRB_CALL FakeAppendLog(MrbHandle, std::int32_t reserved, const char* text,
                           std::int32_t length) {
  Fake().calls_made.push_back("log " + std::string(text) + "|" + std::to_string(reserved) + "|" +
                              std::to_string(length));
  return Fake().append_log_result;
}

int MRB_CALL FakeIsPrepareNeeded(MrbHandle) { return Fake().prepare_needed ? 1 : 0; }

int MRB_CALL FakePrepareEx(MrbHandle, std::int32_t mode, std::int32_t, std::int32_t) {
  Fake().calls_made.push_back("prepare " + std::to_string(mode));
  return Fake().prepare_result;
}

int MRB_CALL FakeVerifyEx(MrbHandle, std::int32_t mode) {
  FakeLibrary& fake = Fake();
  fake.calls_made.push_back("verify " + std::to_string(mode));
  if (fake.verify_events) fake.Raise(fake.verify_events(fake.attempts - 1, fake.init.channel_url));
  return 0;
}

int MRB_CALL FakeIsUpdateAvailable(MrbHandle, std::uint32_t* bytes) {
  FakeLibrary& fake = Fake();
  fake.calls_made.push_back("available");
  if (fake.availability_events)
    fake.Raise(fake.availability_events(fake.attempts - 1, fake.init.channel_url));
  *bytes = fake.bytes;
  return fake.available;
}

int MRB_CALL FakeUpdate(MrbHandle, const char* profile, std::int32_t length) {
  FakeLibrary& fake = Fake();
  fake.calls_made.push_back("update " + std::to_string(length));
  fake.last_profile = profile ? std::string(profile, static_cast<std::size_t>(length)) : "";
  if (fake.update_events) fake.Raise(fake.update_events(fake.attempts - 1, fake.init.channel_url));
  return fake.update_result;
}

int MRB_CALL FakeLookup(MrbHandle, char* buffer, std::int32_t size) {
  std::string path = "C:\\HOLD\\" + std::string(buffer);
  if (path.size() + 1 > static_cast<std::size_t>(size)) return 1;
  std::strcpy(buffer, path.c_str());
  return 0;
}

const char* MRB_CALL FakeGetProperty(MrbHandle, const char* name, std::int32_t) {
  auto it = Fake().properties.find(name);
  return it == Fake().properties.end() ? nullptr : it->second.c_str();
}

int MRB_CALL FakeRemoveProperty(MrbHandle, const char* name) {
  Fake().calls_made.push_back(std::string("remove ") + name);
  return 0;
}

int MRB_CALL FakeClean(MrbHandle) {
  Fake().calls_made.push_back("clean");
  return 0;
}

int MRB_CALL FakeTerm(MrbHandle) {
  Fake().calls_made.push_back("term");
  return 0;
}

}  // namespace

FakeLibrary::FakeLibrary() {
  current = this;
  calls_.init_update = FakeInit;
  calls_.append_log = FakeAppendLog;
  calls_.is_prepare_needed = FakeIsPrepareNeeded;
  calls_.prepare_ex = FakePrepareEx;
  calls_.verify_ex = FakeVerifyEx;
  calls_.is_update_available = FakeIsUpdateAvailable;
  calls_.update = FakeUpdate;
  calls_.lookup_holding_area_file = FakeLookup;
  calls_.get_property = FakeGetProperty;
  calls_.remove_property = FakeRemoveProperty;
  calls_.clean = FakeClean;
  calls_.term_update = FakeTerm;
}

FakeLibrary::~FakeLibrary() { current = nullptr; }

void FakeLibrary::Raise(const std::vector<FakeEvent>& events) {
  for (const FakeEvent& event : events) {
    int answer = init.event_callback(event.code, event.text ? event.text->c_str() : nullptr);
    answers.emplace_back(event.code, answer);
  }
}

std::string MakeLaunchRecord(const std::string& override_mcp, const std::string& affiliation) {
  std::string record(kLaunchRecordSize, '\0');
  record.replace(16, std::min<std::size_t>(override_mcp.size(), 80), override_mcp.substr(0, 80));
  record.replace(2116, std::min<std::size_t>(affiliation.size(), 16), affiliation.substr(0, 16));
  return record;
}

}  // namespace zoma::testing
