// Writing the user-interface transcript.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/ui_transcript.h"

namespace platform::ui {

std::string EscapeTranscriptField(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

void AppendTranscript(std::initializer_list<std::string> fields) {
  const char* path = std::getenv("ZOMA_UI_LOG");
  if (!path || !*path) return;
  std::string line;
  for (const std::string& field : fields) {
    if (!line.empty()) line.push_back('\t');
    line += EscapeTranscriptField(field);
  }
  line.push_back('\n');
  int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  ssize_t written = write(fd, line.data(), line.size());
  (void)written;  // the transcript is best effort: a full disk must not stop the update
  close(fd);
}

}  // namespace platform::ui
