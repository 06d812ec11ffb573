// Binding the update library's calls by name.
#include "updater/update_library.h"

namespace zoma {
namespace {

template <typename Fn>
bool Bind(SystemServices& system, void* module, const char* name, Fn& slot) {
  slot = reinterpret_cast<Fn>(system.ModuleSymbol(module, name));
  return slot != nullptr;
}

}  // namespace

std::optional<UpdateLibrary> BindUpdateLibrary(SystemServices& system, void* module) {
  if (!module) return std::nullopt;
  UpdateLibrary lib;
  bool ok = Bind(system, module, "mrbInitUpdate", lib.init_update) &&
            Bind(system, module, "mrbAppendLog", lib.append_log) &&
            Bind(system, module, "mrbIsPrepareNeeded", lib.is_prepare_needed) &&
            Bind(system, module, "mrbPrepareEx", lib.prepare_ex) &&
            Bind(system, module, "mrbVerifyEx", lib.verify_ex) &&
            Bind(system, module, "mrbIsUpdateAvailable", lib.is_update_available) &&
            Bind(system, module, "mrbUpdate", lib.update) &&
            Bind(system, module, "mrbLookupHoldingAreaFile", lib.lookup_holding_area_file) &&
            Bind(system, module, "mrbGetProperty", lib.get_property) &&
            Bind(system, module, "mrbRemoveProperty", lib.remove_property) &&
            Bind(system, module, "mrbClean", lib.clean) &&
            Bind(system, module, "mrbTermUpdate", lib.term_update);
  if (!ok) return std::nullopt;
  return lib;
}

std::optional<LoadedUpdateLibrary> LoadUpdateLibrary(SystemServices& system,
                                                     const std::string& path) {
  void* module = system.LoadModule(path);
  if (!module) return std::nullopt;
  std::optional<UpdateLibrary> calls = BindUpdateLibrary(system, module);
  if (!calls) {
    system.FreeModule(module);
    return std::nullopt;
  }
  return LoadedUpdateLibrary{module, *calls};
}

}  // namespace zoma
