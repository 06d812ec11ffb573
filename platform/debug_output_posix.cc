// Debugger output through the transcript, an optional log file and the tracer check of
// /proc/self/status.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/debug_output.h"
#include "platform/ui_transcript.h"

namespace platform {
namespace {

void WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

void OutputDebugString(const std::string& text) {
  ui::AppendTranscript({"debug", text});
  if (const char* log = std::getenv("ZOMA_DEBUG_LOG"); log && *log) {
    // One append per message, so that several processes can share the file.
    int fd = open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd >= 0) {
      WriteAll(fd, text);
      close(fd);
    }
  }
  if (IsDebuggerPresent()) WriteAll(STDERR_FILENO, text);
}

bool IsDebuggerPresent() {
  std::FILE* status = std::fopen("/proc/self/status", "re");
  if (status == nullptr) return false;
  char line[256];
  long tracer = 0;
  while (std::fgets(line, sizeof line, status)) {
    if (std::strncmp(line, "TracerPid:", 10) == 0) {
      tracer = std::strtol(line + 10, nullptr, 10);
      break;
    }
  }
  std::fclose(status);
  return tracer != 0;
}

void DebugBreak() {
  if (IsDebuggerPresent()) raise(SIGTRAP);
}

}  // namespace platform
