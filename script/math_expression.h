// Math expressions: signed 32-bit integer expressions read straight from raw argument
// text, with calls evaluated where an operand is expected.
#pragma once

#include <cstdint>
#include <string_view>

namespace script {

class Instance;
class Stream;

// The value of `text` as a Math expression; `parent` is the stream the text stands in.
int32_t EvaluateMath(Instance* instance, Stream* parent, std::string_view text,
                     const char* name = "EvalMath");

}  // namespace script
