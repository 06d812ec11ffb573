// Registration functions of the built-in libraries, in one place so that the ordered
// list in libraries.cc and tests can pick them.
#pragma once

#include "script/instance.h"

namespace script {

void RegisterDebuggingLibrary(Instance* instance);
void RegisterFileLibrary(Instance* instance);
// The directory rows and the tree walks of the file library (lib/directories.cc,
// lib/tree_walks.cc).
void RegisterDirectoryBuiltins(Instance* instance);
void RegisterTreeWalkBuiltins(Instance* instance);
void RegisterControlFlowLibrary(Instance* instance);
void RegisterNumberLibrary(Instance* instance);
void RegisterStringLibrary(Instance* instance);
void RegisterSystemLibrary(Instance* instance);
// The registry rows of the system library (lib/registry.cc).
void RegisterRegistryBuiltins(Instance* instance);
void RegisterCoreLibrary(Instance* instance);
// Fetching over HTTP, URL quoting and CGI form data (lib/http.cc).
void RegisterHttpLibrary(Instance* instance);
// Extension loading, time and random numbers (lib/extensions_time.cc).
void RegisterExtensionAndTimeLibrary(Instance* instance);
// ReMatch and ReReplace (lib/regex.cc).
void RegisterRegexLibrary(Instance* instance);
// Checksums, patches, archives, file versions and update control (lib/versions.cc).
void RegisterVersionLibrary(Instance* instance);
// RTPatch, IsFileWriteable, ModuleLoadsProperly, the after-reboot rows and IsCookedFile
// (lib/patches.cc).
void RegisterPatchRows(Instance* instance);
// SelfRegister ... LaunchGameImmediately (lib/file_versions.cc).
void RegisterFileVersionRows(Instance* instance);
// The checksum rows of the version library (lib/checksums.cc).
void RegisterChecksumRows(Instance* instance);
// The gzip and cabinet rows of the version library (lib/archives.cc).
void RegisterArchiveRows(Instance* instance);

// One entry of the ordered list of libraries a new instance registers.
struct LibraryEntry {
  const char* name;
  void (*registration)(Instance* instance);
};

}  // namespace script
