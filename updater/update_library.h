// The update library as a table of its calls, found by name in a loaded module, so
// that tests can put a fake library in its place.
#pragma once

#include <optional>
#include <string>

#include "updatelib/castanet.h"
#include "updater/system_services.h"

namespace zoma {

struct UpdateLibrary {
  MrbInitUpdateFn init_update = nullptr;
  MrbAppendLogFn append_log = nullptr;
  MrbIsPrepareNeededFn is_prepare_needed = nullptr;
  MrbPrepareExFn prepare_ex = nullptr;
  MrbVerifyExFn verify_ex = nullptr;
  MrbIsUpdateAvailableFn is_update_available = nullptr;
  MrbUpdateFn update = nullptr;
  MrbLookupHoldingAreaFileFn lookup_holding_area_file = nullptr;
  MrbGetPropertyFn get_property = nullptr;
  MrbRemovePropertyFn remove_property = nullptr;
  MrbCleanFn clean = nullptr;
  MrbTermUpdateFn term_update = nullptr;
};

/// Finds every call in a loaded module; nullopt when one is missing.
std::optional<UpdateLibrary> BindUpdateLibrary(SystemServices& system, void* module);

/// A loaded update library: the module and its calls.
struct LoadedUpdateLibrary {
  void* module = nullptr;
  UpdateLibrary calls;
};

/// Loads and binds the library file; nullopt (and nothing left loaded) on failure.
std::optional<LoadedUpdateLibrary> LoadUpdateLibrary(SystemServices& system,
                                                     const std::string& path);

}  // namespace zoma
