// Loadable modules with the Win32 model on dlopen: LoadLibrary by Windows path with
// the loader's search order, GetProcAddress, FreeLibrary, and the names of loaded
// modules in Windows form. Our libraries are ELF shared objects named *.dll.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win_error.h"

namespace platform {

/// An HMODULE: the dlopen handle. Null means "the running program" where the Win32
/// call allows it.
using ModuleHandle = void*;

/// LoadLibraryA. ".dll" is appended to a name without extension; a bare name is looked
/// for among the modules already loaded, then in the application, system and Windows
/// directories, the current directory and PATH. Null with kErrorModNotFound, or
/// kErrorBadExeFormat when the file is found but does not load.
ModuleHandle LoadLibrary(const std::string& name);

/// GetProcAddress: null with kErrorProcNotFound when the module has no such export.
void* GetProcAddress(ModuleHandle module, const std::string& name);

/// FreeLibrary: each LoadLibrary is matched by one FreeLibrary.
bool FreeLibrary(ModuleHandle module);

/// GetModuleHandleA: a loaded module by name (base name, ".dll" implied, case ignored;
/// or a full path), without taking a reference. An empty name is the running program.
/// Null with kErrorModNotFound when it is not loaded.
ModuleHandle GetModuleHandle(const std::string& name);

/// The Windows path of a module (null: the running program); "" for a bad handle.
std::string GetModuleFileName(ModuleHandle module);

/// Buffer form of GetModuleFileNameA: the length copied; when the buffer is too small
/// the path is cut, terminated, the result is `size` and the last error
/// kErrorInsufficientBuffer. 0 on failure.
std::uint32_t GetModuleFileName(ModuleHandle module, char* buffer, std::uint32_t size);

}  // namespace platform
