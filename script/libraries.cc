// Creating and destroying an instance: the version constants, the ordered list of
// library registrations, the newline and character constants and the token-set
// built-ins. Also the evaluation entry points.
#include "script/libraries.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "script/evaluator.h"
#include "script/tessel.h"

namespace script {
namespace {

constexpr char kVersion[] = "0.7.1.0";

// The libraries every instance registers, in this order.
const LibraryEntry kLibraries[] = {
    {"debugging", RegisterDebuggingLibrary},
    {"file and directory", RegisterFileLibrary},
    {"control flow", RegisterControlFlowLibrary},
    {"number and arithmetic", RegisterNumberLibrary},
    {"string", RegisterStringLibrary},
    {"file-system and system", RegisterSystemLibrary},
    {"core", RegisterCoreLibrary},
    {"extension loading, time and random numbers", RegisterExtensionAndTimeLibrary},
    {"HTTP", RegisterHttpLibrary},
    {"regular expressions", RegisterRegexLibrary},
};

// Registered after the constants and token sets.
const LibraryEntry kLateLibraries[] = {
    {"checksums, patches, archives, file versions and update control", RegisterVersionLibrary},
};

const VariableRow kConstants[] = {
    {"NewLine", "\r\n", 0},      {"UNIXNewLine", "\n", 0}, {"DOSNewLine", "\r\n", 0},
    {"MacNewLine", "\r", 0},     {"Tab", "\t", 0},         {"Space", " ", 0},
    {"Digits", "0123456789", 0}, {"True", "1", 0},         {"False", "0", 0},
};

std::vector<void (*)(Instance*)>& Cleanups() {
  static std::vector<void (*)(Instance*)> cleanups;
  return cleanups;
}

// Splits a version text into its numbers: each piece is read like a C decimal
// conversion (leading blanks allowed, a leading letter reads 0) and ends at the first
// non-digit after its first digit.
std::vector<long> VersionComponents(std::string_view text) {
  std::vector<long> components;
  std::string copy(text);
  const char* p = copy.c_str();
  while (*p) {
    char* end = nullptr;
    long value = std::strtol(p, &end, 10);
    components.push_back(value);
    if (end == p) {
      // Nothing numeric: this piece reads 0 and ends at the next non-digit after a digit.
      while (*end && !(*end >= '0' && *end <= '9')) ++end;
      while (*end >= '0' && *end <= '9') ++end;
    }
    p = end;
    if (*p) ++p;  // the separator
  }
  return components;
}

int CompareVersionTexts(std::string_view a, std::string_view b) {
  std::vector<long> left = VersionComponents(a);
  std::vector<long> right = VersionComponents(b);
  size_t n = std::max(left.size(), right.size());
  for (size_t i = 0; i < n; ++i) {
    long x = i < left.size() ? left[i] : 0;
    long y = i < right.size() ? right[i] : 0;
    if (x != y) return x < y ? -static_cast<int>(i + 1) : static_cast<int>(i + 1);
  }
  return 0;
}

void CompareVersionsBuiltin(Call& call) {
  call.WriteInteger(CompareVersionTexts(call.Script(1), call.Script(2)));
}

void IsTesselVersionBuiltin(Call& call) {
  call.Write(CompareVersionTexts(kVersion, call.Script(1)) >= 0 ? "1" : "0");
}

void SetTokensBuiltin(Call& call) {
  call.instance->SetTokens(static_cast<const char*>(call.user_data));
}

const BuiltinRow kVersionBuiltins[] = {
    {"CompareVersions", CompareVersionsBuiltin, 0, 2},
    {"IsTesselVersion", IsTesselVersionBuiltin, 0, 1},
};

const BuiltinRow kTokenSetBuiltins[] = {
    {"StandardTokens", SetTokensBuiltin, reinterpret_cast<intptr_t>("${;}"), 0},
    {"AlternateTokens1", SetTokensBuiltin, reinterpret_cast<intptr_t>("#[|]"), 0},
    {"AlternateTokens2", SetTokensBuiltin, reinterpret_cast<intptr_t>("@(,)"), 0},
    {"AlternateTokens3", SetTokensBuiltin, reinterpret_cast<intptr_t>("!<:>"), 0},
};

void SetVersionConstants(Instance* instance) {
  SetVariable(instance, "TesselVersion", kVersion, kOwnsNothing);
  static const char* const kParts[] = {"TesselVersionMajor", "TesselVersionMinor",
                                       "TesselVersionRevision", "TesselVersionBuild"};
  std::string_view version = kVersion;
  size_t part = 0;
  size_t start = 0;
  for (size_t i = 0; i <= version.size() && part < 4; ++i) {
    if (i == version.size() || version[i] < '0' || version[i] > '9') {
      SetVariable(instance, kParts[part++], version.substr(start, i - start), kOwnsCopy);
      start = i + 1;
    }
  }
  SetVariable(instance, "TesselVersionDate", "1997/08/31", kOwnsNothing);
  RegisterTable(instance, kVersionBuiltins);
}

// Registers everything a new instance has, step by step in the fixed order, telling
// `after_step` the name of each step once it is done.
void RegisterEverything(Instance* instance,
                        const std::function<void(const char* step)>& after_step) {
  SetVersionConstants(instance);
  after_step("version constants");
  for (const LibraryEntry& library : kLibraries) {
    library.registration(instance);
    after_step(library.name);
  }
  RegisterTable(instance, kConstants);
  after_step("newline and character constants");
  RegisterTable(instance, kTokenSetBuiltins);
  after_step("token sets");
  for (const LibraryEntry& library : kLateLibraries) {
    if (library.registration) library.registration(instance);
    after_step(library.name);
  }
}

}  // namespace

Instance* CreateInstance() {
  Instance* instance = new (std::nothrow) Instance();
  if (instance == nullptr) return nullptr;
  RegisterEverything(instance, [](const char*) {});
  return instance;
}

std::vector<RegisteredGroup> ListRegisteredNames() {
  std::vector<RegisteredGroup> groups;
  Instance* instance = new (std::nothrow) Instance();
  if (instance == nullptr) return groups;
  // A name belongs to the step that bound it last: compare the values before and after.
  std::map<std::string, const Value*> seen;
  RegisterEverything(instance, [&](const char* step) {
    RegisteredGroup group{step, {}};
    instance->tree().Walk([&](const Leaf& leaf) {
      const Value* value = leaf.head ? leaf.head->value : nullptr;
      auto [it, added] = seen.try_emplace(leaf.name, value);
      if (added || it->second != value) {
        it->second = value;
        group.names.push_back(leaf.name);
      }
    });
    std::sort(group.names.begin(), group.names.end());
    for (RegisteredGroup& earlier : groups) {
      std::erase_if(earlier.names, [&](const std::string& name) {
        return std::binary_search(group.names.begin(), group.names.end(), name);
      });
    }
    groups.push_back(std::move(group));
  });
  DestroyInstance(instance);
  return groups;
}

void DestroyInstance(Instance* instance) {
  if (instance == nullptr) return;
  std::vector<void (*)(Instance*)> cleanups;
  cleanups.swap(Cleanups());
  for (auto cleanup : cleanups) cleanup(instance);
  delete instance;
}

void RegisterCleanup(void (*cleanup)(Instance* instance)) { Cleanups().push_back(cleanup); }

namespace {

// Runs a top-level evaluation. A text past its limit or memory running out unwinds to
// here and ends the evaluation in order: the scopes it opened are closed and the
// instance is stopped, as after the nesting limit.
template <typename Body>
void Guarded(Instance* instance, Body body) {
  const int depth = instance->tree().depth();
  try {
    body();
  } catch (const std::bad_alloc&) {
    while (instance->tree().depth() > depth) instance->tree().PopScope();
    instance->StopForMemory();
  }
}

}  // namespace

void Evaluate(TextBuffer& out, std::string_view text, Instance* instance, Stream* parent) {
  if (parent != nullptr) {
    EvaluateToBuffer(instance, parent, text, out);
    return;
  }
  instance->Resume();
  Guarded(instance, [&] { EvaluateToBuffer(instance, parent, text, out); });
}

void EvaluateToFile(FILE* file, std::string_view text, Instance* instance, bool raw) {
  instance->Resume();
  Guarded(instance, [&] {
    Stream stream(instance, nullptr);
    stream.AttachString(text, "Script");
    if (raw) {
      stream.AttachFileSink(file, false);
    } else {
      stream.AttachUnescapeToFile(file);
    }
    EvaluateStream(stream);
  });
}

std::string ScriptFileText(std::string_view windows_path) {
  TextBuffer quoted;
  QuoteText(windows_path, TokenSet(), quoted);
  return "$ReadFile{" + std::string(quoted.view()) + "}";
}

void EvaluateFile(TextBuffer& out, std::string_view windows_path, Instance* instance) {
  Evaluate(out, ScriptFileText(windows_path), instance);
}

void EvaluateFileToFile(FILE* file, std::string_view windows_path, Instance* instance, bool raw) {
  EvaluateToFile(file, ScriptFileText(windows_path), instance, raw);
}

}  // namespace script
