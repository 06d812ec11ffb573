// Starting and stopping nginx for tests.
#include "updatelib/testing/nginx_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "updatelib/channel/file_io.h"

#ifndef CASTANET_NGINX_TEMPLATE
#error "CASTANET_NGINX_TEMPLATE names the sample configuration"
#endif

namespace castanet::testing {
namespace {

void ReplaceAll(std::string* text, const std::string& from, const std::string& to) {
  for (size_t at = text->find(from); at != std::string::npos;
       at = text->find(from, at + to.size())) {
    text->replace(at, from.size(), to);
  }
}

bool Accepts(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return ok;
}

}  // namespace

int FreeLoopbackPort() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

bool NginxServer::Start(const std::string& document_root, const std::string& state_dir,
                        const std::string& user, const std::string& password, std::string* error) {
  state_dir_ = state_dir;
  std::string template_text;
  if (!ReadWholeFile(CASTANET_NGINX_TEMPLATE, &template_text, error)) return false;
  if (!MakeDirectories(state_dir, error)) return false;
  if (!WriteFileAtomically(state_dir + "/htpasswd", user + ":{PLAIN}" + password + "\n", error)) {
    return false;
  }
  for (int attempt = 0; attempt < 5; attempt++) {
    port_ = FreeLoopbackPort();
    std::string config = template_text;
    ReplaceAll(&config, "@STATE@", state_dir);
    ReplaceAll(&config, "@ROOT@", document_root);
    ReplaceAll(&config, "@PORT@", std::to_string(port_));
    std::string config_path = state_dir + "/nginx.conf";
    if (!WriteFileAtomically(config_path, config, error)) return false;
    pid_ = fork();
    if (pid_ == 0) {
      std::string log = state_dir + "/error.log";
      int null_fd = open("/dev/null", O_WRONLY);
      dup2(null_fd, 1);
      dup2(null_fd, 2);
      execlp("nginx", "nginx", "-p", state_dir.c_str(), "-c", config_path.c_str(), "-e",
             log.c_str(), "-g", "daemon off;", static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 100; i++) {
      if (Accepts(port_)) return true;
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        break;  // most likely the port was taken meanwhile: try another
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Stop();
  }
  *error = "nginx did not start; see " + state_dir + "/error.log";
  return false;
}

void NginxServer::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

std::string NginxServer::Url(const std::string& channel) const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/" + channel;
}

std::vector<std::string> NginxServer::AccessLines() const {
  std::vector<std::string> lines;
  std::ifstream in(access_log());
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace castanet::testing
