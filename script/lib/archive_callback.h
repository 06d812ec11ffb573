// The callback scripts of the cabinet built-ins: each report runs the callback argument
// as a block of its own kind (so that Break works in it) in a fresh scope holding the
// message's constants and variables, then reads the answers back from that scope.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "script/evaluator.h"

namespace script {

struct CallbackConstant {
  const char* name;
  int32_t value;
};

// A variable of one report: a decimal number, or a text kept with its token characters
// escaped so that it comes out as it stands.
struct CallbackVariable {
  const char* name;
  std::string text;
  bool quote;
};
inline CallbackVariable Text(const char* name, std::string_view text) {
  return {name, std::string(text), true};
}
inline CallbackVariable Number(const char* name, int64_t value) {
  return {name, std::to_string(value), false};
}

class ArchiveCallback {
 public:
  template <size_t N>
  ArchiveCallback(Call& call, int argument, const char* kind,
                  const CallbackConstant (&constants)[N])
      : call_(call), argument_(argument), kind_(kind), constants_(constants), count_(N) {}

  // An absent or empty callback argument means no callback.
  bool present() const { return call_.Has(argument_) && !call_.Raw(argument_).empty(); }

  // Reports `message`; `answers` runs in the callback's scope once it has run. False
  // when the callback ended with Break (or the script is being stopped). Without a
  // callback nothing runs and the answer is to go on.
  bool Report(int32_t message, std::initializer_list<CallbackVariable> variables,
              const std::function<void()>& answers = {});

  // Inside `answers`: a variable's value as a Math expression, or as plain text cut to
  // `limit` characters.
  int32_t MathAnswer(const char* name);
  std::string TextAnswer(const char* name, size_t limit);

 private:
  Call& call_;
  int argument_;
  const char* kind_;
  const CallbackConstant* constants_;
  size_t count_;
};

}  // namespace script
