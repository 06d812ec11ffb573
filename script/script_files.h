// Opening files named by scripts: file-name arguments, output targets (named files and
// the standard streams "-" and "--") and script files read for evaluation, with the
// token set and CurrentScriptPath handling that ReadFile and ForFile share.
#pragma once

#include <cstdio>
#include <string>

#include "script/evaluator.h"
#include "script/script_source.h"

namespace script {

// Flags of ReadFile and ForFile.
enum ReadFlags : int32_t {
  kReadExternal = 1,
  kReadVerbatim = 2,
  kReadNoResetTokens = 8,
  kReadNoSetCurrentScriptPath = 16,
};
int32_t ReadFileFlags(Call& call, int i);

// Argument i as a file name: plain text with every "/" turned into "\".
std::string FileNameArgument(Call& call, int i);

// Where a script's writes go. "-" is standard output; "--" standard error unless
// appending. A file that cannot be opened leaves `file` null (writes are dropped).
class OutputFile {
 public:
  OutputFile(const std::string& name, bool append);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  std::FILE* file() const { return file_; }
  // Attaches the matching sink to `stream`: the file, through an unescaping sink when
  // `unescape`, or a discarding sink when the file did not open.
  void AttachTo(Stream& stream, bool unescape) const;

 private:
  std::FILE* file_;
  bool owned_;
};

// A script file open for reading, for the length of a ReadFile or ForFile call: the
// token set is standard and CurrentScriptPath names the file (unless the flags say
// otherwise); both go back when the object ends.
class ScriptFileReading {
 public:
  ScriptFileReading(Call& call, const std::string& name, int32_t flags);
  ~ScriptFileReading();
  ScriptFileReading(const ScriptFileReading&) = delete;
  ScriptFileReading& operator=(const ScriptFileReading&) = delete;

  bool failed() const { return text_.failed(); }
  // The stream to read the file from: escaping every token character with External.
  Stream& reader() { return external_ ? escaping_ : file_; }

 private:
  Call& call_;
  int32_t flags_;
  bool external_;
  TokenSet saved_tokens_;
  int path_scope_ = 0;
  ScriptText text_;
  Stream file_;
  Stream escaping_;
};

}  // namespace script
