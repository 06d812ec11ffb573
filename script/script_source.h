// The script-text source: every script file the language reads as a stream (ReadFile,
// ForFile, data fetched over HTTP) comes through here. Plain script text and cooked
// scripts (the wrapped container with the magic "LCH!") read alike.
#pragma once

#include <string>
#include <string_view>

#include "script/stream.h"

namespace script {

// Owns the text a stream's string source reads; must outlive the stream.
class ScriptText {
 public:
  // Makes `data` the stream's source, unwrapping a cooked script. A container that
  // cannot be unwrapped (or plain data when `cooked_only`) leaves the stream failed:
  // an empty source, already ended. The text ends at its first NUL byte.
  bool FromData(Stream& stream, std::string_view data, bool cooked_only, const char* name);
  // Reads a whole file (a Windows path) into the stream's source; "-" makes standard
  // input the source, read as it comes. A file that cannot be opened or read leaves the
  // stream failed.
  bool FromFile(Stream& stream, const std::string& windows_path);

  bool failed() const { return failed_; }
  const std::string& text() const { return text_; }

 private:
  bool Fail(Stream& stream);

  std::string name_;
  std::string text_;
  bool failed_ = false;
};

}  // namespace script
