// Script text from files and data blocks, cooked or plain.
#include "script/script_source.h"

#include <cstdio>

#include "clientcfg/wrapped_data.h"
#include "platform/files.h"
#include "script/standard_streams.h"

namespace script {
namespace {

bool ReadWhole(std::FILE* file, std::string* out) {
  char chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) out->append(chunk, n);
  return !std::ferror(file);
}

}  // namespace

bool ScriptText::Fail(Stream& stream) {
  failed_ = true;
  text_.clear();
  stream.AttachString(text_, name_.c_str());
  stream.ended = true;
  return false;
}

bool ScriptText::FromData(Stream& stream, std::string_view data, bool cooked_only,
                          const char* name) {
  name_ = name;
  failed_ = false;
  if (cooked_only && data.substr(0, 4) != clientcfg::kCookedScriptMagic) return Fail(stream);
  if (data.substr(0, 4) == clientcfg::kCookedScriptMagic) {
    std::optional<std::string> unwrapped =
        clientcfg::UnwrapData(data, clientcfg::kCookedScriptMagic);
    if (!unwrapped) return Fail(stream);
    text_ = std::move(*unwrapped);
  } else {
    text_.assign(data);
  }
  // Script text is a terminated string: a NUL ends it, as it ends every string source.
  if (size_t nul = text_.find('\0'); nul != std::string::npos) text_.resize(nul);
  stream.AttachString(text_, name_.c_str());
  return true;
}

bool ScriptText::FromFile(Stream& stream, const std::string& windows_path) {
  name_ = windows_path;
  if (windows_path == "-") {
    // Standard input is read as it comes, character by character, and never unwrapped.
    std::FILE* in = StandardInputForSource();
    if (in == nullptr) return Fail(stream);
    stream.AttachFileSource(in);
    return true;
  }
  std::FILE* file = platform::OpenStdioFile(windows_path, "rb");
  if (file == nullptr) return Fail(stream);
  std::string data;
  bool ok = ReadWhole(file, &data);
  std::fclose(file);
  if (!ok) return Fail(stream);
  std::string name = name_;
  return FromData(stream, data, false, name.c_str());
}

}  // namespace script
