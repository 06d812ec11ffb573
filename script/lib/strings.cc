// The string library. So far it holds Quote, which the core needs for quoting raw text;
// the rest of the library joins this table.
#include "script/evaluator.h"
#include "script/libraries.h"

namespace script {
namespace {

void QuoteBuiltin(Call& call) {
  TextBuffer& quoted = call.Scratch();
  QuoteText(call.Raw(1), call.instance->tokens(), quoted);
  call.Write(quoted.view());
}

const BuiltinRow kStringBuiltins[] = {
    {"Quote", QuoteBuiltin, 0, 1},
};

}  // namespace

void RegisterStringLibrary(Instance* instance) { RegisterTable(instance, kStringBuiltins); }

}  // namespace script
