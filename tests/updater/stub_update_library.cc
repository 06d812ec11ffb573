// A stand-in update library for the updater's program tests: the calls of castanet.h
// with a fixed, scriptable behaviour and no network, so that start-up, chaining and
// the passes of the real ZomaUp program can be run before and beside the real library.
//
//   ZOMA_STUB_MODE       "ok" (default): every channel connects and installs readme.txt;
//                        "unreachable": every check fails to connect;
//                        "selfupdate": Zoma/Programs also carries programs/ZomaUp.exe
//                        until it has been installed once.
//   ZOMA_STUB_CALLS      host file: one line per init and per request-log line received
//   ZOMA_STUB_BYTES      bytes an update needs (default 1000)
//   ZOMA_STUB_DELAY_MS   pause in every availability check (a slow server)
//   ZOMA_STUB_HOLDING    Windows path of the new ZomaUp.exe in the "holding area"
//   ZOMA_STUB_INSTALL_FROM, ZOMA_STUB_INSTALL_TO   host paths: installing it copies
//   ZOMA_STUB_INSTALLED  host path of the marker made once it is installed
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "updatelib/castanet.h"

struct MrbSession {
  MrbEventCallback event = nullptr;
  std::string url;
  std::string target;
};

namespace {

std::string Env(const char* name, const char* fallback = "") {
  const char* value = std::getenv(name);
  return value ? value : fallback;
}

void Record(const std::string& line) {
  std::string path = Env("ZOMA_STUB_CALLS");
  if (path.empty()) return;
  std::ofstream(path, std::ios::app) << line << "\n";
}

bool EndsWith(const std::string& text, const char* tail) {
  std::size_t n = std::strlen(tail);
  return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

bool FileExists(const std::string& path) { return std::ifstream(path).good(); }

}  // namespace

extern "C" {

MRB_EXPORT MrbHandle MRB_CALL mrbInitUpdate(const MrbInitRecord* init) {
  auto* session = new MrbSession{init->event_callback, init->channel_url, init->target_directory};
  Record(std::string("init ") + init->channel_url + " " + init->target_directory + " " +
         std::to_string(init->options));
  if (init->handle_out) *init->handle_out = session;
  return session;
}

MRB_EXPORT int MRB_CALL mrbAppendLog(MrbHandle, int32_t, const char* text, int32_t length) {
  Record("log " + std::string(text) + " " + std::to_string(length));
  return 0;
}

MRB_EXPORT int MRB_CALL mrbIsPrepareNeeded(MrbHandle) { return 0; }
MRB_EXPORT int MRB_CALL mrbPrepareEx(MrbHandle, int32_t, int32_t, int32_t) { return 0; }
MRB_EXPORT int MRB_CALL mrbVerifyEx(MrbHandle, int32_t) { return 0; }
MRB_EXPORT int MRB_CALL mrbRemoveProperty(MrbHandle, const char*) { return 0; }
MRB_EXPORT const char* MRB_CALL mrbGetProperty(MrbHandle, const char*, int32_t) { return nullptr; }
MRB_EXPORT int MRB_CALL mrbClean(MrbHandle) { return 0; }

MRB_EXPORT int MRB_CALL mrbIsUpdateAvailable(MrbHandle session, uint32_t* bytes) {
  std::this_thread::sleep_for(
      std::chrono::milliseconds(std::strtol(Env("ZOMA_STUB_DELAY_MS", "0").c_str(), nullptr, 10)));
  if (Env("ZOMA_STUB_MODE") == "unreachable") {
    session->event(CASTANET_ERROR_CONNECT_FAILED, nullptr);
    return 0;
  }
  if (session->event(CASTANET_UPDATE_CONNECTING, nullptr) != 0) return 0;
  *bytes = static_cast<uint32_t>(std::strtoul(Env("ZOMA_STUB_BYTES", "1000").c_str(), nullptr, 10));
  return 1;
}

MRB_EXPORT int MRB_CALL mrbUpdate(MrbHandle session, const char*, int32_t) {
  auto event = [&](uint16_t code, const char* text) { return session->event(code, text); };
  if (event(CASTANET_UPDATE_TRANSFER, "readme.txt") != 0) return MRB_UPDATE_CANCELED;
  event(CASTANET_PROGRESS_PERCENT, "0%");
  event(CASTANET_PROGRESS_PERCENT, "100%");
  event(CASTANET_UPDATE_INSTALLING, "30%");
  if (Env("ZOMA_STUB_MODE") == "selfupdate" && EndsWith(session->url, "/Zoma/Programs") &&
      !FileExists(Env("ZOMA_STUB_INSTALLED"))) {
    if (event(CASTANET_UPDATE_INSTALL, "programs/ZomaUp.exe") != 0) {
      event(CASTANET_ERROR_INSTALL_FAILED, "programs/ZomaUp.exe");
      return MRB_UPDATE_FAILED;
    }
    std::string to = Env("ZOMA_STUB_INSTALL_TO");
    std::remove(to.c_str());  // never write into a running program
    std::ifstream in(Env("ZOMA_STUB_INSTALL_FROM"), std::ios::binary);
    std::ofstream(to, std::ios::binary) << in.rdbuf();
    chmod(to.c_str(), 0755);  // a program stays a program
    std::ofstream(Env("ZOMA_STUB_INSTALLED")) << "installed\n";
  }
  event(CASTANET_UPDATE_INSTALL, "readme.txt");
  event(CASTANET_UDPATE_DONE, nullptr);
  return 0;
}

MRB_EXPORT int MRB_CALL mrbLookupHoldingAreaFile(MrbHandle, char* buffer, int32_t size) {
  std::string path = Env("ZOMA_STUB_HOLDING");
  if (path.empty() || path.size() + 1 > static_cast<std::size_t>(size)) return 1;
  std::memcpy(buffer, path.c_str(), path.size() + 1);
  return 0;
}

MRB_EXPORT int MRB_CALL mrbTermUpdate(MrbHandle session) {
  delete session;
  return 0;
}

}  // extern "C"
