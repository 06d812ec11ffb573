// A real nginx for tests: started on a free loopback port from the sample configuration
// in docs/, with Basic authentication, stopped by its pid.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace castanet::testing {

class NginxServer {
 public:
  NginxServer() = default;
  ~NginxServer() { Stop(); }
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;

  // Serves document_root; state_dir receives the configuration, logs and pid file.
  bool Start(const std::string& document_root, const std::string& state_dir,
             const std::string& user, const std::string& password, std::string* error);
  void Stop();

  int port() const { return port_; }
  std::string Url(const std::string& channel) const;
  std::string access_log() const { return state_dir_ + "/access.log"; }
  // Lines of the access log.
  std::vector<std::string> AccessLines() const;

 private:
  pid_t pid_ = -1;
  int port_ = 0;
  std::string state_dir_;
};

// A loopback port that nothing listens on at the moment.
int FreeLoopbackPort();

}  // namespace castanet::testing
