// tessel: the script runner. Creates a fresh interpreter instance, sets the -D
// variables and the script's arguments, evaluates the script and writes the result.
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "clientcfg/wrapped_data.h"
#include "platform/paths.h"
#include "script/tessel.h"
#include "tools/tessel/large_stack.h"
#include "tools/tessel/options.h"

namespace {

// Enough for the nesting limit even with sanitizer-sized frames: the usual 8 MiB
// main-thread stack, or a thread with one when the stack limit is lower.
constexpr size_t kEvaluationStack = size_t{8} << 20;

bool ReadAll(FILE* file, std::string* text) {
  char chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) text->append(chunk, n);
  return !std::ferror(file);
}

bool ReadHostFile(const std::string& path, std::string* data) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    std::fprintf(stderr, "tessel: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  bool ok = ReadAll(file, data);
  std::fclose(file);
  if (!ok) std::fprintf(stderr, "tessel: cannot read %s\n", path.c_str());
  return ok;
}

// --cook: the script wrapped in the container cooked scripts use.
int Cook(const tessel::Options& options) {
  std::string script;
  if (!ReadHostFile(options.text_or_path, &script)) return 1;
  std::optional<std::string> cooked = clientcfg::WrapData(script, clientcfg::kCookedScriptMagic);
  if (!cooked) {
    std::fprintf(stderr, "tessel: cannot cook %s: %s\n", options.text_or_path.c_str(),
                 script.empty() ? "the script is empty" : "it does not compress");
    return 1;
  }
  FILE* out = std::fopen(options.cooked_path.c_str(), "wb");
  bool ok = out && std::fwrite(cooked->data(), 1, cooked->size(), out) == cooked->size();
  if (out && std::fclose(out) != 0) ok = false;
  if (!ok) {
    std::fprintf(stderr, "tessel: cannot write %s\n", options.cooked_path.c_str());
    return 1;
  }
  return 0;
}

// The text to evaluate, or the Windows path of the script file to run (as the updater
// runs scripts, so that cooked scripts and CurrentScriptPath work); the file is read
// here first only to report a missing or unusable file.
bool LoadScript(const tessel::Options& options, std::string* text, std::string* file) {
  using Input = tessel::Options::Input;
  if (options.input == Input::kText) {
    *text = options.text_or_path;
    return true;
  }
  if (options.input == Input::kStandardInput) return ReadAll(stdin, text);
  std::string data;
  if (!ReadHostFile(options.text_or_path, &data)) return false;
  if (data.compare(0, 4, clientcfg::kCookedScriptMagic) == 0 &&
      !clientcfg::UnwrapData(data, clientcfg::kCookedScriptMagic)) {
    std::fprintf(stderr, "tessel: %s is a cooked script that cannot be unwrapped\n",
                 options.text_or_path.c_str());
  }
  *file = platform::ToWindowsPath(options.text_or_path);
  if (file->empty()) {
    std::fprintf(stderr, "tessel: %s has no Windows path\n", options.text_or_path.c_str());
    return false;
  }
  return true;
}

// --list: every registered name under the library that registered it.
int ListNames() {
  std::vector<script::RegisteredGroup> groups = script::ListRegisteredNames();
  if (groups.empty()) {
    std::fprintf(stderr, "tessel: out of memory\n");
    return 1;
  }
  for (const script::RegisteredGroup& group : groups) {
    std::printf("[%s]\n", group.library.c_str());
    for (const std::string& name : group.names) std::printf("%s\n", name.c_str());
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  tessel::Options options;
  std::string error;
  if (!tessel::ParseOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "tessel: %s\n\n%s", error.c_str(), tessel::UsageText());
    return 2;
  }
  if (options.help) {
    std::fputs(tessel::UsageText(), stdout);
    return 0;
  }
  if (options.input == tessel::Options::Input::kCook) return Cook(options);
  if (options.input == tessel::Options::Input::kList) return ListNames();
  std::string script, script_file;
  if (!LoadScript(options, &script, &script_file)) return 1;

  script::Instance* instance = script::CreateInstance();
  if (instance == nullptr) {
    std::fprintf(stderr, "tessel: out of memory\n");
    return 1;
  }
  for (const auto& [name, value] : options.defines) {
    script::SetGlobalVariable(instance, name, value, script::kOwnsCopy);
  }
  for (size_t i = 0; i < options.args.size(); ++i) {
    script::SetGlobalVariable(instance, "Arg" + std::to_string(i + 1), options.args[i],
                              script::kOwnsCopy);
  }
  script::SetGlobalVariable(instance, "ArgCount", std::to_string(options.args.size()),
                            script::kOwnsCopy);

  tessel::RunWithLargeStack(kEvaluationStack, [&](size_t usable) {
    instance->set_stack_budget(usable);
    if (script_file.empty()) {
      script::EvaluateToFile(stdout, script, instance, options.raw);
    } else {
      script::EvaluateFileToFile(stdout, script_file, instance, options.raw);
    }
  });
  std::fflush(stdout);
  if (instance->nesting_limit_hit()) {
    std::fprintf(stderr,
                 "tessel: evaluation stopped: calls nested more than %d levels deep "
                 "(endless recursion?)\n",
                 instance->max_nesting());
  }
  bool out_of_memory = instance->memory_limit_hit();
  if (out_of_memory) {
    std::fprintf(stderr,
                 "tessel: evaluation stopped: a text grew past %zu bytes or memory ran out\n",
                 script::kMaxTextSize);
  }
  int code = instance->exit_code_set() ? instance->exit_code() : out_of_memory ? 1 : 0;
  script::DestroyInstance(instance);
  return code;
}
