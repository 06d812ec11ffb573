// castanet_driver: drives mrbupd.dll through the calls one channel uses, the way the
// updater does, and prints every event and result. Tests run it as a child process so
// that they can kill it at any point.
//
//   castanet_driver --library PATH --target DIR --url URL [--url URL...]
//                   [--password P] [--strict] [--force] [--profile FILE] [--log LINE...]
//                   [--refuse NAME] [--kill-at-event N] [--file-size-limit BYTES]
//
// Output lines: "EVENT <code> <text>", "CALL <name> <result>", "LOOKUP <path>".
#include <dlfcn.h>
#include <signal.h>
#include <strings.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "updatelib/castanet.h"

namespace {

struct Calls {
  MrbInitUpdateFn init;
  MrbAppendLogFn append_log;
  MrbIsPrepareNeededFn is_prepare_needed;
  MrbPrepareExFn prepare;
  MrbVerifyExFn verify;
  MrbIsUpdateAvailableFn is_update_available;
  MrbUpdateFn update;
  MrbLookupHoldingAreaFileFn lookup;
  MrbGetPropertyFn get_property;
  MrbRemovePropertyFn remove_property;
  MrbCleanFn clean;
  MrbTermUpdateFn term;
};

Calls calls;
MrbHandle current = nullptr;
std::string password;
std::string refuse;
long kill_at_event = -1;
long event_count = 0;

int OnEvent(uint16_t code, const char* text) {
  event_count++;
  std::printf("EVENT %u %s\n", code, text ? text : "(null)");
  std::fflush(stdout);
  if (kill_at_event >= 0 && event_count >= kill_at_event) raise(SIGKILL);
  if (code == CASTANET_UPDATE_INSTALL && text && !refuse.empty() &&
      strcasecmp(text, refuse.c_str()) == 0) {
    // As the updater does for its own files: take the new version, refuse the install.
    char buffer[260];
    std::snprintf(buffer, sizeof buffer, "%s", text);
    if (calls.lookup(current, buffer, sizeof buffer) == 0) std::printf("LOOKUP %s\n", buffer);
    return -1;
  }
  if (code == CASTANET_UPDATE_INSTALL && text && strcasecmp(text, "properties.txt") == 0) {
    const char* reloc = calls.get_property(current, "reloc.properties.txt", 0);
    std::printf("PROPERTY reloc.properties.txt %s\n", reloc ? reloc : "(none)");
  }
  return 0;
}

int OnText(char*) { return -1; }

int OnCredentials(char* buffer) {
  if (password.empty()) {
    buffer[0] = '\0';
  } else {
    std::snprintf(buffer, MRB_CREDENTIALS_BUFFER_SIZE, "ZomaClient:%s", password.c_str());
  }
  return 0;
}

template <typename T>
bool Find(void* library, const char* name, T* out) {
  *out = reinterpret_cast<T>(dlsym(library, name));
  if (!*out) std::fprintf(stderr, "missing export %s\n", name);
  return *out != nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  std::string library, target, profile_file;
  std::vector<std::string> urls, log_lines;
  bool strict = false, force = false;
  long file_size_limit = -1;
  for (int i = 1; i < argc; i++) {
    std::string arg = argv[i];
    auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (arg == "--library")
      library = next();
    else if (arg == "--target")
      target = next();
    else if (arg == "--url")
      urls.push_back(next());
    else if (arg == "--password")
      password = next();
    else if (arg == "--strict")
      strict = true;
    else if (arg == "--force")
      force = true;
    else if (arg == "--profile")
      profile_file = next();
    else if (arg == "--log")
      log_lines.push_back(next());
    else if (arg == "--refuse")
      refuse = next();
    else if (arg == "--kill-at-event")
      kill_at_event = std::atol(next().c_str());
    else if (arg == "--file-size-limit")
      file_size_limit = std::atol(next().c_str());
    else {
      std::fprintf(stderr, "unknown argument %s\n", arg.c_str());
      return 2;
    }
  }
  void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    std::fprintf(stderr, "%s\n", dlerror());
    return 2;
  }
  if (!Find(handle, "mrbInitUpdate", &calls.init) ||
      !Find(handle, "mrbAppendLog", &calls.append_log) ||
      !Find(handle, "mrbIsPrepareNeeded", &calls.is_prepare_needed) ||
      !Find(handle, "mrbPrepareEx", &calls.prepare) ||
      !Find(handle, "mrbVerifyEx", &calls.verify) ||
      !Find(handle, "mrbIsUpdateAvailable", &calls.is_update_available) ||
      !Find(handle, "mrbUpdate", &calls.update) ||
      !Find(handle, "mrbLookupHoldingAreaFile", &calls.lookup) ||
      !Find(handle, "mrbGetProperty", &calls.get_property) ||
      !Find(handle, "mrbRemoveProperty", &calls.remove_property) ||
      !Find(handle, "mrbClean", &calls.clean) || !Find(handle, "mrbTermUpdate", &calls.term)) {
    return 2;
  }
  std::string profile;
  if (!profile_file.empty()) {
    std::ifstream in(profile_file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    profile = text.str().substr(0, 4096);
  }
  if (file_size_limit >= 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {static_cast<rlim_t>(file_size_limit),
                           static_cast<rlim_t>(file_size_limit)};
    setrlimit(RLIMIT_FSIZE, &limit);
  }

  int status = 0;
  for (const std::string& url : urls) {
    MrbHandle out = nullptr;
    MrbInitRecord record = {target.c_str(),
                            OnEvent,
                            OnText,
                            OnCredentials,
                            "Zoma Software/1.0; UpdateLibrary/0.96",
                            &out,
                            strict ? 9 : 1,
                            url.c_str(),
                            0};
    current = calls.init(&record);
    std::printf("CALL mrbInitUpdate %d\n", current != nullptr && out == current);
    if (!current) return 1;
    for (const std::string& line : log_lines) {
      std::printf(
          "CALL mrbAppendLog %d\n",
          calls.append_log(current, -1, line.c_str(), static_cast<int32_t>(line.size() + 1)));
    }
    int mode = strict ? MRB_MODE_STRICT : MRB_MODE_NORMAL;
    int needed = calls.is_prepare_needed(current);
    std::printf("CALL mrbIsPrepareNeeded %d\n", needed);
    if (needed || mode == MRB_MODE_NORMAL) {
      std::printf("CALL mrbPrepareEx %d\n", calls.prepare(current, mode, 0, 0));
    }
    calls.remove_property(current, "http.proxy");
    calls.remove_property(current, "socks.proxy");
    if (mode == MRB_MODE_STRICT) std::printf("CALL mrbVerifyEx %d\n", calls.verify(current, 3));
    uint32_t bytes = 0;
    int available = calls.is_update_available(current, &bytes);
    std::printf("CALL mrbIsUpdateAvailable %d %u\n", available, bytes);
    if (available || force) {
      for (const std::string& line : log_lines) {
        calls.append_log(current, -1, line.c_str(), static_cast<int32_t>(line.size() + 1));
      }
      int result = profile_file.empty() ? calls.update(current, nullptr, 0)
                                        : calls.update(current, profile.data(),
                                                       static_cast<int32_t>(profile.size()));
      std::printf("CALL mrbUpdate %d\n", result);
      if (result < 0) status = 1;
    }
    std::printf("CALL mrbClean %d\n", calls.clean(current));
    std::printf("CALL mrbTermUpdate %d\n", calls.term(current));
    std::fflush(stdout);
    current = nullptr;
  }
#if !defined(__SANITIZE_ADDRESS__)
  // Unloading is part of what the updater does (before it chains). LeakSanitizer's
  // tracer crashes on the thread-local storage of unloaded libraries, so sanitizer
  // builds keep the library loaded.
  dlclose(handle);
#endif
  return status;
}
