// The file and directory library: reading files as script or as data, writing text and
// variables to files, running a body per line of a file, and the status file. Every
// file name goes through the platform layer as a Windows path. The directory rows and
// the tree walks are in directories.cc and tree_walks.cc.
#include <string>

#include "script/evaluator.h"
#include "script/libraries.h"
#include "script/script_files.h"

namespace script {
namespace {

enum WriteFlags : int32_t { kWriteExternal = 1, kWriteVerbatim = 2, kWriteAppend = 4 };

void ReadFileBuiltin(Call& call) {
  std::string name = FileNameArgument(call, 1);
  int32_t flags = ReadFileFlags(call, 2);
  ScriptFileReading reading(call, name, flags);
  if (reading.failed()) return;
  Stream& reader = reading.reader();
  if (flags & kReadVerbatim) {
    for (int c; (c = reader.Get()) >= 0;) call.out->Put(static_cast<char>(c));
    return;
  }
  reader.AttachForward(call.out);
  EvaluateStream(reader);
}

void WriteFileBuiltin(Call& call) {
  int32_t flags = static_cast<int32_t>(reinterpret_cast<intptr_t>(call.user_data)) |
                  call.Flags(3, {{"External", kWriteExternal},
                                 {"Verbatim", kWriteVerbatim},
                                 {"Append", kWriteAppend}});
  OutputFile target(FileNameArgument(call, 2), flags & kWriteAppend);
  Stream stream(call.instance, call.out);
  target.AttachTo(stream, flags & kWriteExternal);
  if (flags & kWriteVerbatim) {
    stream.Put(call.Raw(1));
    return;
  }
  stream.AttachString(call.Raw(1), "WriteFile");
  EvaluateStream(stream);
}

// Whether `text` reads back as one whole argument of a standard-token call: braces
// balanced, no separator outside them, no call character left to escape the close.
bool ReadsBackWhole(std::string_view text) {
  int depth = 1;
  for (size_t i = 0; i < text.size(); ++i) {
    switch (text[i]) {
      case '$':
        if (++i == text.size()) return false;
        if (IsIdentifierChar(static_cast<uint8_t>(text[i]))) {
          while (i + 1 < text.size() && IsIdentifierChar(static_cast<uint8_t>(text[i + 1]))) ++i;
        }
        break;
      case '{':
        ++depth;
        break;
      case '}':
        if (--depth == 0) return false;
        break;
      case ';':
        if (depth == 1) return false;
        break;
    }
  }
  return depth == 1;
}

// The file is a script of SetVerbatim calls inside Silent, so reading it back restores
// every variable exactly (escapes included) and writes nothing:
//   $Silent{CRLF ($SetVerbatim{NAME;STORED TEXT}CRLF)* }
void WriteVariablesToFileBuiltin(Call& call) {
  OutputFile target(FileNameArgument(call, 1), false);
  std::FILE* file = target.file();
  if (file == nullptr) return;
  std::fputs("$Silent{\r\n", file);
  for (int i = 2; i < call.argc; ++i) {
    std::string name(call.Name(i));
    Value* value = call.instance->tree().FindValue(name);
    // Only plain variables whose text survives as one argument can be restored; anything
    // else would break the file and lose every variable after it.
    if (name.empty() || value == nullptr || !value->is_variable()) continue;
    std::string_view text = value->text();
    if (!ReadsBackWhole(text)) continue;
    std::fputs("$SetVerbatim{", file);
    std::fwrite(name.data(), 1, name.size(), file);
    std::fputc(';', file);
    if (!text.empty()) std::fwrite(text.data(), 1, text.size(), file);
    std::fputs("}\r\n", file);
  }
  std::fputc('}', file);
}

bool IsLineEnd(int c) { return c == '\r' || c == '\n'; }

// Reads the lines of a script file for ForFile. Without Verbatim, calls in the file run
// as they are met and their output joins the line they stand in.
class LineReader {
 public:
  LineReader(Stream& file, bool verbatim, TextBuffer& queue)
      : file_(file), verbatim_(verbatim), queue_(queue) {
    queue_.Clear();
    if (!verbatim_) file_.AttachBuffer(&queue_);
  }

  bool ended() const { return file_.ended && taken_ >= queue_.size(); }

  void Read(TextBuffer& line) {
    line.Clear();
    const char call = file_.instance()->tokens().call();
    for (;;) {
      if (taken_ < queue_.size() && TakeQueued(line)) return;
      int c = file_.Get();
      if (c < 0) return;
      if (IsLineEnd(c)) {
        int next = file_.Get();
        if (next < 0) {
          file_.ended = false;  // only a read that starts at the end ends the file
        } else if (!IsLineEnd(next) || next == c) {
          file_.Unget(next);
        }
        return;
      }
      if (!verbatim_ && c == static_cast<uint8_t>(call)) {
        HandleCall(file_);  // its output lands in the queue
        continue;
      }
      line.Append(static_cast<char>(c));
    }
  }

 private:
  // Moves queued output into the line up to a line end; true when one ended the line.
  bool TakeQueued(TextBuffer& line) {
    std::string_view rest = queue_.view().substr(taken_);
    size_t end = rest.find_first_of("\r\n");
    if (end == std::string_view::npos) {
      line.Append(rest);
      queue_.Clear();
      taken_ = 0;
      return false;
    }
    line.Append(rest.substr(0, end));
    taken_ += end + 1;
    if (end + 1 < rest.size() && IsLineEnd(rest[end + 1])) ++taken_;
    return true;
  }

  Stream& file_;
  bool verbatim_;
  TextBuffer& queue_;
  size_t taken_ = 0;
};

void ForFileBuiltin(Call& call) {
  std::string variable(call.Name(1));
  std::string name = FileNameArgument(call, 3);
  int32_t flags = ReadFileFlags(call, 4);
  ScriptFileReading reading(call, name, flags);
  if (reading.failed()) return;
  SymbolTree& tree = call.instance->tree();
  TextBuffer& line = call.Scratch();
  LineReader lines(reading.reader(), flags & kReadVerbatim, call.Scratch());
  for (long long number = 1; !call.instance->halted() && !call.out->ended; ++number) {
    lines.Read(line);
    tree.PushScope();
    tree.Bind(variable, MakeTextValue(tree, line.view(), kOwnsCopy), false, 0);
    tree.Bind("ForFileLineNumber", MakeTextValue(tree, std::to_string(number), kOwnsCopy), false,
              0);
    call.EvaluateIntoOutput(call.Raw(2));
    tree.PopScope();
    if (lines.ended()) break;
  }
}

const BuiltinRow kFileBuiltins[] = {
    {"ReadFile", ReadFileBuiltin, 0, 1},
    {"WriteFile", WriteFileBuiltin, 0, 2},
    {"AppendFile", WriteFileBuiltin, kWriteAppend, 2},
    {"WriteVariablesToFile", WriteVariablesToFileBuiltin, 0, 1},
    {"ForFile", ForFileBuiltin, 0, 3},
};

const VariableRow kStatusVariables[] = {
    {"_StatusFileFilename", "", 0},
    {"_StatusFileBuffer", "", 0},
    {"_StatusFileIsBuffered", "0", 0},
};

// The status file: lines shown on standard output and kept in a log file, optionally
// buffered until FlushStatusFile.
const ScriptBuiltinRow kStatusScripts[] = {
    {"SetStatusFile",
     "$Set{_StatusFileFilename;$SetStatusFile1;;$GlobalScope}$C{DeleteCurrent;1}"
     "$If{$SetStatusFileArgc > 2;$C{Buffered;1}$C{Append;2}$C{Flags;$Math{$SetStatusFile2}}"
     "$Set{DeleteCurrent;$Math{{$Flags & $Append} == 0}}"
     "$Set{_StatusFileIsBuffered;$Math{{$Flags & $Buffered} != 0}}}"
     "$If{$DeleteCurrent;$DeleteFile{$GetStatusFile{}}}",
     kDontEvaluateArguments | kSilent},
    {"GetStatusFile", "$_StatusFileFilename", 0},
    {"FlushStatusFile",
     "$If{$E{_StatusFileFilename} && $NotSame{$_StatusFileFilename;};"
     "$WriteFile{$_StatusFileBuffer;$_StatusFileFilename;$External + $Append}"
     "$Set{_StatusFileBuffer;}}",
     0},
    {"_StatusFile",
     "$If{$E{_StatusFileFilename} && $NotSame{$_StatusFileFilename;};"
     "$Set{_StatusFileBuffer;$_StatusFileBuffer$$_StatusFile1}"
     "$If{!$_StatusFileIsBuffered;$FlushStatusFile{}}}",
     0},
    {"__Status", "$WriteFile{$__Status1;-;$External}", 0},
    {"_Status", "$__Status{$_Status1}$_StatusFile{$_Status1}", 0},
    {"Status", "$_Status{$Status1$$NewLine}", 0},
    {"TellMe", "$Status{<<\"$_L{TellMe1;$Quote}\" is \"$TellMe1\">>}", kDontEvaluateArguments},
    {"ShowMe", "$Status{<<\"$_L{ShowMe1;$Quote}\" is \"$ShowMe1\">>}", kDontEvaluateArguments},
};

}  // namespace

void RegisterFileLibrary(Instance* instance) {
  RegisterTable(instance, kFileBuiltins);
  RegisterTable(instance, kStatusVariables);
  RegisterTable(instance, kStatusScripts);
  RegisterDirectoryBuiltins(instance);
  RegisterTreeWalkBuiltins(instance);
}

}  // namespace script
