// File names, output targets and script files for the file built-ins.
#include "script/script_files.h"

#include <algorithm>

#include "platform/files.h"
#include "platform/paths.h"
#include "script/standard_streams.h"

namespace script {

int32_t ReadFileFlags(Call& call, int i) {
  return call.Flags(i, {{"External", kReadExternal},
                        {"Verbatim", kReadVerbatim},
                        {"NoResetTokens", kReadNoResetTokens},
                        {"DontResetTokens", kReadNoResetTokens},
                        {"NoSetCurrentScriptPath", kReadNoSetCurrentScriptPath},
                        {"DontSetCurrentScriptPath", kReadNoSetCurrentScriptPath}});
}

std::string FileNameArgument(Call& call, int i) {
  std::string name(call.Plain(i));
  std::replace(name.begin(), name.end(), '/', '\\');
  return name;
}

OutputFile::OutputFile(const std::string& name, bool append) : file_(nullptr), owned_(false) {
  if (name == "-") {
    file_ = StandardOutput();
  } else if (name == "--" && !append) {
    file_ = StandardError();
  } else if (!name.empty()) {
    file_ = platform::OpenStdioFile(name, append ? "ab" : "wb");
    owned_ = file_ != nullptr;
  }
}

OutputFile::~OutputFile() {
  if (owned_) {
    std::fclose(file_);
  } else if (file_) {
    std::fflush(file_);
  }
}

void OutputFile::AttachTo(Stream& stream, bool unescape) const {
  if (file_ == nullptr) {
    stream.AttachDiscard();
  } else if (unescape) {
    stream.AttachUnescapeToFile(file_);
  } else {
    stream.AttachFileSink(file_, false);
  }
}

ScriptFileReading::ScriptFileReading(Call& call, const std::string& name, int32_t flags)
    : call_(call),
      flags_(flags),
      external_(flags & kReadExternal),
      saved_tokens_(call.instance->tokens()),
      file_(call.instance, call.out),
      escaping_(call.instance, call.out) {
  text_.FromFile(file_, name);
  if (external_) escaping_.AttachEscapingSource(&file_);
  if (!(flags_ & kReadNoResetTokens)) call.instance->SetTokens(kStandardTokenChars);
  if (!(flags_ & kReadNoSetCurrentScriptPath)) {
    SymbolTree& tree = call.instance->tree();
    path_scope_ = tree.depth();
    std::string full = name == "-" ? name : platform::GetFullPathName(name);
    tree.Bind("CurrentScriptPath", MakeTextValue(tree, full, kOwnsCopy), true, path_scope_);
  }
}

ScriptFileReading::~ScriptFileReading() {
  if (!(flags_ & kReadNoSetCurrentScriptPath)) {
    call_.instance->tree().Delete("CurrentScriptPath", path_scope_, SymbolTree::kDeleteSelfScoped);
  }
  call_.instance->SetTokens(saved_tokens_.chars);
}

}  // namespace script
