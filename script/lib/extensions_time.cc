// The small library: extension modules (LoadLibrary), the clock as text (Time, _Time),
// Sleep and Random. Module names and formats are evaluated but not unquoted.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/module.h"
#include "script/evaluator.h"
#include "script/lib/c_random.h"
#include "script/lib/time_format.h"
#include "script/libraries.h"
#include "script/tessel_extension.h"

namespace script {
namespace {

// Extension modules stay loaded until the process ends, then go newest first.
std::mutex module_mutex;
std::vector<platform::ModuleHandle>& LoadedModules() {
  static auto* modules = new std::vector<platform::ModuleHandle>;
  return *modules;
}

void FreeModulesAtExit() {
  std::lock_guard<std::mutex> lock(module_mutex);
  std::vector<platform::ModuleHandle>& modules = LoadedModules();
  for (auto it = modules.rbegin(); it != modules.rend(); ++it) platform::FreeLibrary(*it);
  modules.clear();
}

void LoadLibraryBuiltin(Call& call) {
  const std::string module(call.Script(1));
  std::string init(call.Name(2));
  if (init.empty()) init = "TesselInitLibrary";
  if (module.empty() || module.find('\0') != std::string::npos) return;
  platform::ModuleHandle handle = platform::LoadLibrary(module);
  if (handle == nullptr) return;
  auto initialise = reinterpret_cast<TesselInitFunction>(platform::GetProcAddress(handle, init));
  if (initialise == nullptr) {
    platform::FreeLibrary(handle);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(module_mutex);
    if (LoadedModules().empty()) {
      static bool handler_installed = false;
      if (!handler_installed) std::atexit(FreeModulesAtExit);
      handler_installed = true;
    }
    LoadedModules().push_back(handle);
  }
  initialise(reinterpret_cast<TesselInstance*>(call.instance));
}

void TimeBuiltin(Call& call) {
  std::string_view format = call.Has(1) ? call.Script(1) : std::string_view("%c");
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  call.Write(FormatLocalTime(format, local));
}

void UnixTimeBuiltin(Call& call) {
  std::string_view format = call.Has(1) ? call.Script(1) : std::string_view("%d");
  call.Write(FormatOneInteger(format, static_cast<std::int32_t>(std::time(nullptr))));
}

// Sleeps in slices, so that an instance stopped from another thread (a watchdog)
// does not sleep on.
void SleepBuiltin(Call& call) {
  std::int32_t remaining = call.Math(1);
  while (remaining > 0 && !call.instance->halted()) {
    std::int32_t slice = remaining < 100 ? remaining : 100;
    platform::Sleep(static_cast<std::uint32_t>(slice));
    remaining -= slice;
  }
}

void RandomBuiltin(Call& call) {
  if (call.Has(1)) SeedRandom(static_cast<std::uint32_t>(call.Math(1)));
  call.WriteInteger(NextRandom());
}

const BuiltinRow kSmallLibrary[] = {
    {"LoadLibrary", LoadLibraryBuiltin, 0, 1}, {"Time", TimeBuiltin, 0, 0},
    {"_Time", UnixTimeBuiltin, 0, 0},          {"Sleep", SleepBuiltin, 0, 1},
    {"Random", RandomBuiltin, 0, 0},
};

}  // namespace

void RegisterExtensionAndTimeLibrary(Instance* instance) { RegisterTable(instance, kSmallLibrary); }

}  // namespace script
