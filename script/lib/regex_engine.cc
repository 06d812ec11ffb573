// PCRE2 behind the scripts' syntax. The translated pattern is compiled with "." taking
// every byte and "$" only the very end, as the syntax means them; searches run with
// match, depth and heap limits.
#include "script/lib/regex_engine.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <cstdio>

namespace script {
namespace {

// Budgets of one search: enough for any sensible pattern on megabytes of text, small
// enough that catastrophic backtracking gives up within a fraction of a second.
constexpr uint32_t kMatchLimit = 5'000'000;
constexpr uint32_t kDepthLimit = 10'000'000;
constexpr uint32_t kHeapLimitKiB = 128 * 1024;
constexpr size_t kJitStackBytes = 32 * 1024 * 1024;

// One JIT stack per thread, reserved once: long repetitions need a deep one, and making
// it per pattern would map and unmap it for every ReMatch.
pcre2_jit_stack* ThreadJitStack() {
  struct Holder {
    pcre2_jit_stack* stack = pcre2_jit_stack_create(32 * 1024, kJitStackBytes, nullptr);
    ~Holder() { pcre2_jit_stack_free(stack); }
  };
  thread_local Holder holder;
  return holder.stack;
}

// PCRE2 before 10.43 has a JIT fault in its start-of-match optimisation: "(a|)b*a"
// finds no match in "a-" (PCRE2 issue 336). There the optimisation is turned off.
uint32_t CompileOptions() {
  static const uint32_t options = [] {
    uint32_t base = PCRE2_DOTALL | PCRE2_DOLLAR_ENDONLY;
    char version[32] = {};
    if (pcre2_config(PCRE2_CONFIG_VERSION, version) < 0) return base | PCRE2_NO_START_OPTIMIZE;
    int major = 0, minor = 0;
    if (std::sscanf(version, "%d.%d", &major, &minor) != 2) return base | PCRE2_NO_START_OPTIMIZE;
    return major > 10 || (major == 10 && minor >= 43) ? base : base | PCRE2_NO_START_OPTIMIZE;
  }();
  return options;
}

}  // namespace

struct Regex::Impl {
  pcre2_code* code = nullptr;
  pcre2_match_context* context = nullptr;
  pcre2_match_data* data = nullptr;  // reused by every search of this pattern
  ~Impl() {
    pcre2_match_data_free(data);
    pcre2_match_context_free(context);
    pcre2_code_free(code);
  }
};

Regex::Regex(std::unique_ptr<Impl> impl, int groups) : impl_(std::move(impl)), groups_(groups) {}
Regex::~Regex() = default;

std::unique_ptr<Regex> Regex::Compile(std::string_view pattern) {
  TranslatedRegex translated;
  if (!TranslateRegex(pattern, &translated)) return nullptr;
  int error = 0;
  PCRE2_SIZE error_offset = 0;
  auto impl = std::make_unique<Impl>();
  impl->code =
      pcre2_compile(reinterpret_cast<PCRE2_SPTR>(translated.pcre.data()), translated.pcre.size(),
                    CompileOptions(), &error, &error_offset, nullptr);
  // Deep nesting past PCRE2's own limits is refused here like any malformed pattern.
  if (impl->code == nullptr) return nullptr;
  impl->context = pcre2_match_context_create(nullptr);
  if (impl->context == nullptr) return nullptr;
  pcre2_set_match_limit(impl->context, kMatchLimit);
  pcre2_set_depth_limit(impl->context, kDepthLimit);
  pcre2_set_heap_limit(impl->context, kHeapLimitKiB);
  impl->data = pcre2_match_data_create(kMaxRegexGroups + 1, nullptr);
  if (impl->data == nullptr) return nullptr;
  // Without a JIT (or when it refuses the pattern) the interpreter matches.
  pcre2_jit_compile(impl->code, PCRE2_JIT_COMPLETE);
  return std::unique_ptr<Regex>(new Regex(std::move(impl), translated.groups));
}

bool Regex::Search(std::string_view text, RegexMatch* match) const {
  pcre2_match_data* data = impl_->data;
  pcre2_jit_stack_assign(impl_->context, nullptr, ThreadJitStack());
  // An empty view may carry no pointer; PCRE2 wants one.
  auto subject = reinterpret_cast<PCRE2_SPTR>(text.data() != nullptr ? text.data() : "");
  int rc = pcre2_match(impl_->code, subject, text.size(), 0, 0, data, impl_->context);
  // The JIT's stack is smaller than the interpreter's heap: give a deep match a second
  // chance there, still within the limits.
  if (rc == PCRE2_ERROR_JIT_STACKLIMIT)
    rc = pcre2_match(impl_->code, subject, text.size(), 0, PCRE2_NO_JIT, data, impl_->context);
  bool found = rc > 0;
  if (found && match != nullptr) {
    const PCRE2_SIZE* vector = pcre2_get_ovector_pointer(data);
    const uint32_t pairs = pcre2_get_ovector_count(data);
    for (uint32_t i = 0; i < kMaxRegexGroups + 1; ++i) {
      bool set = i < pairs && static_cast<int>(i) < rc && vector[2 * i] != PCRE2_UNSET;
      match->offsets[2 * i] = set ? vector[2 * i] : RegexMatch::kUnset;
      match->offsets[2 * i + 1] = set ? vector[2 * i + 1] : RegexMatch::kUnset;
    }
  }
  return found;
}

bool Regex::Matches(std::string_view text) const { return Search(text, nullptr); }

}  // namespace script
