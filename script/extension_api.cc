// The C interface for extension modules, over the registration services and the call
// record. Extension handlers run through a trampoline so that their own user data is
// what they see.
#include <string>

#include "script/evaluator.h"
#include "script/tessel.h"
#include "script/tessel_extension.h"

namespace script {
namespace {

struct ExtensionBuiltin : OwnedRecord {
  TesselBuiltin handler;
  void* user_data;
};

void ReleaseExtension(OwnedRecord* record) { delete static_cast<ExtensionBuiltin*>(record); }

Instance* AsInstance(TesselInstance* instance) { return reinterpret_cast<Instance*>(instance); }
Call* AsCall(TesselCall* call) { return reinterpret_cast<Call*>(call); }
const Call* AsCall(const TesselCall* call) { return reinterpret_cast<const Call*>(call); }

void RunExtension(Call& call) {
  ExtensionBuiltin* record = static_cast<ExtensionBuiltin*>(call.user_data);
  call.user_data = record->user_data;
  record->handler(reinterpret_cast<TesselCall*>(&call));
  record->user_data = call.user_data;
  call.user_data = record;
}

int Register(TesselInstance* instance, const char* name, TesselBuiltin handler, void* user_data,
             int min_args, int scope, bool self_scoped) {
  if (instance == nullptr || name == nullptr || handler == nullptr) return -1;
  ExtensionBuiltin* record = new ExtensionBuiltin();
  record->release = ReleaseExtension;
  record->handler = handler;
  record->user_data = user_data;
  Value* value = MakeBuiltinValue(RunExtension, record, min_args < 0 ? 0 : min_args);
  value->flags = kOwnsRecord;
  AsInstance(instance)->tree().Bind(name, value, self_scoped, scope);
  return 0;
}

const char* Stable(Call* call, std::string_view text) {
  // Arguments and names are slices of longer texts: copy them so that C sees a
  // NUL-terminated string.
  TextBuffer& copy = call->Scratch();
  copy.Assign(text);
  return copy.c_str();
}

}  // namespace
}  // namespace script

using script::AsCall;
using script::AsInstance;

extern "C" {

int tessel_register_builtin(TesselInstance* instance, const char* name, TesselBuiltin handler,
                            void* user_data, int min_args, int scope) {
  return script::Register(instance, name, handler, user_data, min_args, scope, false);
}

int tessel_register_builtin_self_scoped(TesselInstance* instance, const char* name,
                                        TesselBuiltin handler, void* user_data, int min_args,
                                        int scope) {
  return script::Register(instance, name, handler, user_data, min_args, scope, true);
}

int tessel_define_script_builtin(TesselInstance* instance, const char* name, const char* body,
                                 unsigned flags) {
  if (instance == nullptr || name == nullptr || body == nullptr) return -1;
  script::DefineScriptBuiltin(AsInstance(instance), name, body, script::kOwnsCopy, flags);
  return 0;
}

int tessel_set_variable(TesselInstance* instance, const char* name, const char* text, int scope) {
  if (instance == nullptr || name == nullptr || text == nullptr) return -1;
  script::SetVariable(AsInstance(instance), name, text, script::kOwnsCopy, scope);
  return 0;
}

int tessel_set_global_variable(TesselInstance* instance, const char* name, const char* text) {
  if (instance == nullptr || name == nullptr || text == nullptr) return -1;
  script::SetGlobalVariable(AsInstance(instance), name, text, script::kOwnsCopy);
  return 0;
}

int tessel_register_cleanup(void (*cleanup)(TesselInstance* instance)) {
  if (cleanup == nullptr) return -1;
  // Both handles name the same object; the cleanup list takes the C++ signature.
  static std::vector<void (*)(TesselInstance*)> extension_cleanups;
  if (extension_cleanups.empty()) {
    script::RegisterCleanup([](script::Instance* instance) {
      std::vector<void (*)(TesselInstance*)> pending;
      pending.swap(extension_cleanups);
      for (auto run : pending) run(reinterpret_cast<TesselInstance*>(instance));
    });
  }
  extension_cleanups.push_back(cleanup);
  return 0;
}

TesselInstance* tessel_call_instance(TesselCall* call) {
  return reinterpret_cast<TesselInstance*>(AsCall(call)->instance);
}

int tessel_call_argc(const TesselCall* call) { return AsCall(call)->argc; }

const char* tessel_call_arg(TesselCall* call, int i) {
  script::Call* c = AsCall(call);
  return (i >= 0 && i < c->argc) ? script::Stable(c, c->args[i]) : "";
}

void* tessel_call_user_data(const TesselCall* call) { return AsCall(call)->user_data; }

void tessel_call_set_user_data(TesselCall* call, void* user_data) {
  AsCall(call)->user_data = user_data;
}

const char* tessel_call_eval_script(TesselCall* call, int i) {
  return script::Stable(AsCall(call), AsCall(call)->Script(i));
}

const char* tessel_call_eval_plain(TesselCall* call, int i) {
  return script::Stable(AsCall(call), AsCall(call)->Plain(i));
}

const char* tessel_call_eval_name(TesselCall* call, int i) {
  return script::Stable(AsCall(call), AsCall(call)->Name(i));
}

int32_t tessel_call_eval_integer(TesselCall* call, int i) { return AsCall(call)->Integer(i); }

int32_t tessel_call_eval_math(TesselCall* call, int i) { return AsCall(call)->Math(i); }

void tessel_call_write(TesselCall* call, const char* text) {
  if (text) AsCall(call)->Write(text);
}

void tessel_call_write_integer(TesselCall* call, int32_t value) {
  AsCall(call)->WriteInteger(value);
}

}  // extern "C"
