// Update benchmark against a real nginx, compared in the same run with curl (and rsync
// when installed):
//   1. publishing and a fresh update of a tree of many files (default 2,000 files,
//      200 MB) vs. curl fetching the same files and rsync copying them over loopback;
//   2. a no-op check: requests and bytes on the wire;
//   3. a 1 % change of one large file (default 100 MB): bytes transferred vs. the size
//      of a zstd patch made by the zstd command;
//   4. a kill during a transfer: bytes fetched again by the next session.
// Peak memory is the resident high-water mark of the update process.
// It measures and prints; it asserts nothing. Usage: update_bench [--scale F] (F < 1
// shrinks every size for a quick run).
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "updatelib/channel/crypto.h"
#include "updatelib/channel/file_io.h"
#include "updatelib/channel/publisher.h"
#include "updatelib/channel/signed_text.h"
#include "updatelib/testing/nginx_server.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Contents that compress about as well as game data: half structured text, half noise.
std::string Contents(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string text;
  text.reserve(size);
  while (text.size() < size) {
    if (random() % 2) {
      text += "record " + std::to_string(random() % 100000) + " level " +
              std::to_string(random() % 60) + " name zone" + std::to_string(random() % 500) + "\n";
    } else {
      for (int i = 0; i < 48; i++) text += static_cast<char>(random());
    }
  }
  text.resize(size);
  return text;
}

void WriteFile(const std::string& path, const std::string& contents) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << contents;
}

// Peak resident memory of the last command RunCommand waited for, in KB.
long last_peak_kb = 0;

int RunCommand(const std::vector<std::string>& args, const std::string& output = "/dev/null",
               std::chrono::milliseconds kill_after = std::chrono::milliseconds(0)) {
  pid_t pid = fork();
  if (pid == 0) {
    int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 1);
    int null_fd = open("/dev/null", O_WRONLY);
    dup2(null_fd, 2);
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  if (kill_after.count() > 0) {
    std::this_thread::sleep_for(kill_after);
    kill(pid, SIGKILL);
  }
  int status = 0;
  struct rusage usage = {};
  wait4(pid, &status, 0, &usage);
  last_peak_kb = usage.ru_maxrss;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Wire {
  int requests = 0;
  uint64_t body_bytes = 0;
  uint64_t request_bytes = 0;
};

// Sums access-log lines from line `from` on (only those containing `part`, if given).
Wire WireSince(const castanet::testing::NginxServer& server, size_t from,
               const std::string& part = "") {
  Wire wire;
  std::vector<std::string> lines = server.AccessLines();
  for (size_t i = from; i < lines.size(); i++) {
    if (!part.empty() && lines[i].find(part) == std::string::npos) continue;
    size_t request_end = lines[i].find("\" ", lines[i].find('"') + 1);
    std::istringstream fields(lines[i].substr(request_end + 2));
    int status = 0;
    uint64_t body = 0, request = 0;
    fields >> status >> body >> request;
    wire.requests++;
    wire.body_bytes += body;
    wire.request_bytes += request;
  }
  return wire;
}

bool Have(const char* program) {
  return RunCommand({"sh", "-c", std::string("command -v ") + program}) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  double scale = 1.0;
  for (int i = 1; i + 1 < argc; i++) {
    if (std::string(argv[i]) == "--scale") scale = std::atof(argv[i + 1]);
  }
  const int file_count = std::max(10, static_cast<int>(2000 * scale));
  const size_t file_size = 100 * 1024;
  const size_t big_size = std::max<size_t>(1 << 20, static_cast<size_t>(100e6 * scale));

  char pattern[] = "/tmp/castanet-bench-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  std::string dir = pattern;
  chmod(dir.c_str(), 0755);
  std::string www = dir + "/www", source = dir + "/source", target = dir + "/target";
  // The library under test trusts the key file beside it: the bench runs its own copy.
  std::string library = dir + "/lib/mrbupd.dll";
  std::string keys = dir + "/lib/mrbupd.keys";
  std::filesystem::create_directories(dir + "/lib");
  std::filesystem::copy_file(MRBUPD_LIBRARY, library);
  castanet::SigningKey key;
  std::string error;
  castanet::GenerateSigningKey(&key, &error);
  castanet::WriteFileAtomically(keys, castanet::PublicKeyLine(key, "bench"), &error);
  castanet::testing::NginxServer server;
  if (!server.Start(www, dir + "/nginx", "ZomaClient", "secret", &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  auto driver = [&](const std::string& channel, const std::string& into,
                    std::chrono::milliseconds kill_after = std::chrono::milliseconds(0)) {
    auto start = Clock::now();
    RunCommand({CASTANET_DRIVER, "--library", library, "--target", into, "--url",
                server.Url(channel), "--password", "secret"},
               dir + "/driver.out", kill_after);
    return Seconds(start);
  };
  zomapublish::PublishOptions options;
  options.document_root = www;
  options.keys = {key};
  options.level = 3;

  // 1. Many files.
  std::printf("== %d files of %zu KB (%.0f MB)\n", file_count, file_size / 1024,
              file_count * file_size / 1e6);
  for (int i = 0; i < file_count; i++) {
    WriteFile(source + "/tree/d" + std::to_string(i % 40) + "/f" + std::to_string(i) + ".dat",
              Contents(file_size, i));
  }
  options.channel = "Bench/Tree";
  options.source = source + "/tree";
  auto start = Clock::now();
  zomapublish::PublishReport report;
  zomapublish::Publish(options, &report, &error);
  std::printf("publish:              %7.2f s (%.0f MB stored)\n", Seconds(start),
              report.bytes_stored / 1e6);
  size_t log_at = server.AccessLines().size();
  double update_seconds = driver("Bench/Tree", target + "/tree");
  Wire update_wire = WireSince(server, log_at);
  long update_peak_kb = last_peak_kb;
  std::printf(
      "update (fresh):       %7.2f s, %d requests, %.1f MB on the wire, peak memory %.1f MB\n",
      update_seconds, update_wire.requests, update_wire.body_bytes / 1e6, update_peak_kb / 1024.0);

  // The same files, uncompressed, fetched by curl (4 at a time, keep-alive).
  fs::create_directories(www + "/raw");
  fs::copy(source + "/tree", www + "/raw/tree", fs::copy_options::recursive);
  std::string curl_config = dir + "/curl.cfg";
  {
    std::ofstream config(curl_config);
    for (const auto& entry : fs::recursive_directory_iterator(source + "/tree")) {
      if (!entry.is_regular_file()) continue;
      std::string relative = fs::relative(entry.path(), source + "/tree").string();
      config << "url = \"" << server.Url("raw/tree/" + relative) << "\"\n"
             << "output = \"" << dir << "/curl/" << relative << "\"\n";
    }
  }
  start = Clock::now();
  RunCommand({"curl", "-s", "--create-dirs", "-u", "ZomaClient:secret", "--parallel",
              "--parallel-max", "4", "-K", curl_config});
  double curl_seconds = Seconds(start);
  std::printf("curl (raw files):     %7.2f s, peak memory %.1f MB  -> update/curl = %.2f\n",
              curl_seconds, last_peak_kb / 1024.0, update_seconds / curl_seconds);
  if (Have("rsync")) {
    std::string config = dir + "/rsyncd.conf";
    int port = castanet::testing::FreeLoopbackPort();
    castanet::WriteFileAtomically(config,
                                  "use chroot = no\n[tree]\npath = " + source +
                                      "/tree\n"
                                      "read only = yes\n",
                                  &error);
    pid_t daemon = fork();
    if (daemon == 0) {
      execlp("rsync", "rsync", "--daemon", "--no-detach", "--address=127.0.0.1",
             ("--port=" + std::to_string(port)).c_str(), ("--config=" + config).c_str(),
             static_cast<char*>(nullptr));
      _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    start = Clock::now();
    RunCommand(
        {"rsync", "-a", "rsync://127.0.0.1:" + std::to_string(port) + "/tree/", dir + "/rsync/"});
    double rsync_seconds = Seconds(start);
    kill(daemon, SIGTERM);
    waitpid(daemon, nullptr, 0);
    std::printf("rsync (loopback):     %7.2f s  -> update/rsync = %.2f\n", rsync_seconds,
                update_seconds / rsync_seconds);
  }

  // 2. No-op check.
  log_at = server.AccessLines().size();
  double noop_seconds = driver("Bench/Tree", target + "/tree");
  Wire noop = WireSince(server, log_at);
  std::printf("== no-op check:       %7.3f s, %d request(s), %llu body bytes, %llu request bytes\n",
              noop_seconds, noop.requests, static_cast<unsigned long long>(noop.body_bytes),
              static_cast<unsigned long long>(noop.request_bytes));

  // 3. A 1 % change of one large file.
  std::string big = Contents(big_size, 4242);
  WriteFile(source + "/big/big.dat", big);
  options.channel = "Bench/Big";
  options.source = source + "/big";
  zomapublish::Publish(options, &report, &error);
  driver("Bench/Big", target + "/big");
  std::string old_big = dir + "/big.old";
  fs::copy_file(source + "/big/big.dat", old_big);
  std::mt19937 random(7);
  for (int i = 0; i < 100; i++) {  // 100 edits of 0.01 % each
    size_t at = random() % (big.size() - big.size() / 10000);
    std::string patch = Contents(big.size() / 10000, 1000 + i);
    big.replace(at, patch.size(), patch);
  }
  WriteFile(source + "/big/big.dat", big);
  start = Clock::now();
  zomapublish::Publish(options, &report, &error);
  double publish_big = Seconds(start);
  log_at = server.AccessLines().size();
  double big_seconds = driver("Bench/Big", target + "/big");
  long big_peak_kb = last_peak_kb;
  Wire big_wire = WireSince(server, log_at);
  RunCommand({"zstd", "-q", "-f", "--long=31", "--patch-from=" + old_big, source + "/big/big.dat",
              "-o", dir + "/reference.zst"});
  uint64_t reference =
      fs::exists(dir + "/reference.zst") ? fs::file_size(dir + "/reference.zst") : 0;
  std::printf(
      "== 1%% change of a %.0f MB file: publish %.2f s, update %.2f s, peak memory %.1f MB\n",
      big_size / 1e6, publish_big, big_seconds, big_peak_kb / 1024.0);
  std::printf("on the wire:          %llu bytes; zstd --patch-from: %llu bytes -> ratio %.3f\n",
              static_cast<unsigned long long>(big_wire.body_bytes),
              static_cast<unsigned long long>(reference),
              reference ? static_cast<double>(big_wire.body_bytes) / reference : 0.0);

  // 4. Kill during a transfer, then resume.
  std::string fresh = target + "/killed";
  uint64_t object_bytes = 0;
  for (const auto& entry : fs::recursive_directory_iterator(www + "/Bench/Big/blobs")) {
    if (entry.is_regular_file()) object_bytes = std::max<uint64_t>(object_bytes, entry.file_size());
  }
  // Loopback is too fast to hit a transfer by time: kill at the event that reports half
  // of the bytes received, found in an uninterrupted run.
  driver("Bench/Big", target + "/timed");
  long half_event = 0, event_number = 0;
  {
    std::ifstream events(dir + "/driver.out");
    for (std::string line; std::getline(events, line);) {
      if (line.rfind("EVENT ", 0) != 0) continue;
      event_number++;
      if (!half_event && line == "EVENT 5011 50%") half_event = event_number;
    }
  }
  log_at = server.AccessLines().size();
  auto killed_at = [&](long event) {
    RunCommand(
        {CASTANET_DRIVER, "--library", library, "--target", fresh, "--url", server.Url("Bench/Big"),
         "--password", "secret", "--kill-at-event", std::to_string(event)},
        dir + "/driver.out");
  };
  killed_at(half_event);
  Wire first = WireSince(server, log_at, "/blobs/");
  uint64_t stored = 0;
  for (const auto& entry : fs::recursive_directory_iterator(fresh + "/.castanet")) {
    if (entry.path().extension() == ".part") stored += entry.file_size();
  }
  log_at = server.AccessLines().size();
  driver("Bench/Big", fresh);
  Wire second = WireSince(server, log_at, "/blobs/");
  uint64_t resumed_from = 0;
  for (const std::string& line : server.AccessLines()) {
    size_t range = line.find("\"bytes=");
    if (line.find("/blobs/") != std::string::npos && range != std::string::npos) {
      resumed_from = std::stoull(line.substr(range + 7));
    }
  }
  std::printf(
      "== kill at 50%% of a %.1f MB object: %.1f MB stored, next session resumed at "
      "%.1f MB -> re-downloaded %lld bytes (server sent %.1f + %.1f MB; the excess "
      "was in flight when the process died)\n",
      object_bytes / 1e6, stored / 1e6, resumed_from / 1e6,
      static_cast<long long>(stored) - static_cast<long long>(resumed_from), first.body_bytes / 1e6,
      second.body_bytes / 1e6);

  server.Stop();
  fs::remove_all(dir);
  return 0;
}
