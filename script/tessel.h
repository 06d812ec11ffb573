// Public entry points of the script language: create an interpreter instance with
// every library registered, set variables, evaluate text, destroy the instance.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "script/instance.h"
#include "script/text_buffer.h"

namespace script {

class Stream;

// A new instance with the version constants, every built-in library and the token-set
// built-ins registered; none when memory runs out.
Instance* CreateInstance();
// The names one registration step of a new instance binds: a library, the version
// constants, the character constants or the token sets.
struct RegisteredGroup {
  std::string library;
  std::vector<std::string> names;  // sorted
};
// What a new instance registers, step by step in registration order. A name that a
// later step binds again counts for the later step only.
std::vector<RegisteredGroup> ListRegisteredNames();
// Runs and empties the registered cleanup functions, then frees the instance.
void DestroyInstance(Instance* instance);
// A library adds a function to run when an instance is destroyed (process-wide list).
void RegisterCleanup(void (*cleanup)(Instance* instance));

// Clears `out` and evaluates `text` into it with escapes kept. `parent` is the stream
// the text stands in, none for a new evaluation (which also clears an earlier Exit or
// nesting stop).
void Evaluate(TextBuffer& out, std::string_view text, Instance* instance, Stream* parent = nullptr);
// Evaluates `text` straight into a file as it runs: escapes removed unless `raw`.
void EvaluateToFile(FILE* file, std::string_view text, Instance* instance, bool raw);
// A new evaluation (no parent) that outgrows kMaxTextSize or runs out of memory stops in
// order: Instance::memory_limit_hit() tells, and the output holds what came before.

// Runs a script file (a Windows path; plain or cooked) the one way every program runs
// them: as the text $ReadFile{<path>}, so that CurrentScriptPath and cooked scripts work.
std::string ScriptFileText(std::string_view windows_path);
void EvaluateFile(TextBuffer& out, std::string_view windows_path, Instance* instance);
void EvaluateFileToFile(FILE* file, std::string_view windows_path, Instance* instance, bool raw);

}  // namespace script
