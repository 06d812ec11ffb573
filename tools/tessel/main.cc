// tessel: the script runner. Creates a fresh interpreter instance, sets the -D
// variables and the script's arguments, evaluates the script and writes the result.
#include <cstdio>
#include <cstring>
#include <string>

#include "script/tessel.h"
#include "tools/tessel/large_stack.h"
#include "tools/tessel/options.h"

namespace {

// Far more than the nesting limit needs even with sanitizer-sized frames; only the
// pages actually used are ever touched.
constexpr size_t kEvaluationStack = size_t{256} << 20;

bool ReadAll(FILE* file, std::string* text) {
  char chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) text->append(chunk, n);
  return !std::ferror(file);
}

// The script's text. Until the file library exists a script file is read here whole;
// afterwards it runs as $ReadFile{FILE}, as the updater runs scripts.
bool LoadScript(const tessel::Options& options, std::string* text) {
  using Input = tessel::Options::Input;
  if (options.input == Input::kText) {
    *text = options.text_or_path;
    return true;
  }
  if (options.input == Input::kStandardInput) return ReadAll(stdin, text);
  FILE* file = std::fopen(options.text_or_path.c_str(), "rb");
  if (file == nullptr) {
    std::fprintf(stderr, "tessel: cannot open %s: %s\n", options.text_or_path.c_str(),
                 std::strerror(errno));
    return false;
  }
  bool ok = ReadAll(file, text);
  std::fclose(file);
  if (!ok) std::fprintf(stderr, "tessel: cannot read %s\n", options.text_or_path.c_str());
  return ok;
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
  std::string script;
  if (!LoadScript(options, &script)) return 1;

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

  instance->set_stack_budget(kEvaluationStack - (kEvaluationStack >> 3));
  tessel::RunWithLargeStack(kEvaluationStack,
                            [&] { script::EvaluateToFile(stdout, script, instance, options.raw); });
  std::fflush(stdout);
  if (instance->nesting_limit_hit()) {
    std::fprintf(stderr,
                 "tessel: evaluation stopped: calls nested more than %d levels deep "
                 "(endless recursion?)\n",
                 instance->max_nesting());
  }
  int code = instance->exit_code_set() ? instance->exit_code() : 0;
  script::DestroyInstance(instance);
  return code;
}
