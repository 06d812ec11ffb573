// Modules on dlopen. Loaded modules are found through dl_iterate_phdr, so modules that
// the dynamic linker brought in count as loaded too, as on Windows.
#include <dlfcn.h>
#include <link.h>

#include <cstring>
#include <vector>

#include "platform/ascii.h"
#include "platform/module.h"
#include "platform/paths.h"
#include "platform/program_search.h"

namespace platform {
namespace {

// The name LoadLibrary and GetModuleHandle look for: ".dll" implied, a trailing "."
// meaning "no extension".
std::string LibraryFileName(std::string name) {
  if (!name.empty() && name.back() == '.')
    name.pop_back();
  else if (BaseName(name).find('.') == std::string::npos)
    name += ".dll";
  return name;
}

std::vector<std::string> LoadedModulePaths() {
  std::vector<std::string> paths;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        if (info->dlpi_name && *info->dlpi_name)
          static_cast<std::vector<std::string>*>(data)->push_back(info->dlpi_name);
        return 0;
      },
      &paths);
  return paths;
}

ModuleHandle MainProgram() { return dlopen(nullptr, RTLD_NOW); }

// The host path of a loaded module with this base name (case ignored), or "".
std::string FindLoadedByBaseName(const std::string& base) {
  for (const std::string& path : LoadedModulePaths())
    if (EqualsIgnoreCase(BaseName(path), base)) return path;
  return {};
}

bool SameFile(const std::string& a, const std::string& b) {
  char* real_a = realpath(a.c_str(), nullptr);
  char* real_b = realpath(b.c_str(), nullptr);
  bool same = real_a && real_b && std::strcmp(real_a, real_b) == 0;
  free(real_a);
  free(real_b);
  return same;
}

}  // namespace

ModuleHandle LoadLibrary(const std::string& name) {
  std::string file = LibraryFileName(name);
  if (!HasDirectoryPart(file)) {
    std::string loaded = FindLoadedByBaseName(file);
    if (!loaded.empty())
      if (ModuleHandle module = dlopen(loaded.c_str(), RTLD_NOW | RTLD_NOLOAD)) return module;
  }
  FoundFile found;
  Status status = FindLibraryFile(name, &found);
  if (status != kErrorSuccess) {
    SetLastError(kErrorModNotFound);
    return nullptr;
  }
  ModuleHandle module = dlopen(found.host_path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) SetLastError(kErrorBadExeFormat);
  return module;
}

void* GetProcAddress(ModuleHandle module, const std::string& name) {
  if (!module) module = MainProgram();
  dlerror();
  void* symbol = dlsym(module, name.c_str());
  if (!symbol) SetLastError(kErrorProcNotFound);
  return symbol;
}

bool FreeLibrary(ModuleHandle module) {
  if (!module || dlclose(module) != 0) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  return true;
}

ModuleHandle GetModuleHandle(const std::string& name) {
  if (name.empty()) return MainProgram();
  std::string file = LibraryFileName(name);
  std::string program = RunningProgramHostPath();
  std::string match;
  if (HasDirectoryPart(file)) {
    std::string host = ToHostPath(file);
    if (SameFile(host, program)) return MainProgram();
    for (const std::string& path : LoadedModulePaths())
      if (SameFile(path, host)) match = path;
  } else {
    if (EqualsIgnoreCase(BaseName(program), file)) return MainProgram();
    match = FindLoadedByBaseName(file);
  }
  ModuleHandle module = match.empty() ? nullptr : dlopen(match.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (!module) {
    SetLastError(kErrorModNotFound);
    return nullptr;
  }
  dlclose(module);  // no reference is taken; the module stays loaded
  return module;
}

std::string GetModuleFileName(ModuleHandle module) {
  if (!module || module == MainProgram()) return ToWindowsPath(RunningProgramHostPath());
  link_map* map = nullptr;
  if (dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name) {
    SetLastError(kErrorInvalidHandle);
    return {};
  }
  return ToWindowsPath(map->l_name);
}

std::uint32_t GetModuleFileName(ModuleHandle module, char* buffer, std::uint32_t size) {
  std::string path = GetModuleFileName(module);
  if (path.empty() || !buffer || size == 0) return 0;
  if (path.size() < size) {
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<std::uint32_t>(path.size());
  }
  std::memcpy(buffer, path.data(), size - 1);
  buffer[size - 1] = '\0';
  SetLastError(kErrorInsufficientBuffer);
  return size;
}

}  // namespace platform
