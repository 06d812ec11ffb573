// Loop frames.
#include "script/loop.h"

#include "script/user_function.h"

namespace script {

LoopFrame::LoopFrame(Call& call, const char* kind, bool no_scope)
    : call_(call), no_scope_(no_scope), marker_{"**BSN**", kind, &stop_} {
  SymbolTree& tree = call.instance->tree();
  if (!no_scope_) tree.PushScope();
  const int scope = tree.depth();
  tree.Bind("Break", MakeBuiltinValue(tree, BreakBuiltin, &marker_, 0), no_scope_, scope);
  tree.Bind("Continue", MakeBuiltinValue(tree, ContinueBuiltin, &marker_, 0), no_scope_, scope);
}

LoopFrame::~LoopFrame() {
  SymbolTree& tree = call_.instance->tree();
  if (!no_scope_) {
    tree.PopScope();
    return;
  }
  tree.Delete("Break", tree.depth(), SymbolTree::kDeleteSelfScoped);
  tree.Delete("Continue", tree.depth(), SymbolTree::kDeleteSelfScoped);
}

void LoopFrame::RunBody(std::string_view body, bool own_scope) {
  SymbolTree& tree = call_.instance->tree();
  if (own_scope) tree.PushScope();
  RunBlock(*call_.out, body, &marker_, false);
  if (own_scope) tree.PopScope();
}

void EvaluateDiscarding(Call& call, std::string_view text) {
  Stream stream(call.instance, call.out);
  stream.AttachString(text, "Eval");
  stream.AttachDiscard();
  EvaluateStream(stream);
}

}  // namespace script
