// The row groups of the system library, each registered from its own file; the
// library's one registration function (system.cc) calls them in turn.
#pragma once

#include "script/instance.h"

namespace script {

// Paths, drives, volumes, long and short names, program search (system_paths.cc).
void RegisterSystemPathBuiltins(Instance* instance);
// Copy, move, delete, attributes, file times, shortcuts (system_files.cc).
void RegisterSystemFileBuiltins(Instance* instance);
// INI files (system_ini.cc).
void RegisterIniBuiltins(Instance* instance);
// Starting programs and capturing their output (system_run.cc).
void RegisterRunBuiltins(Instance* instance);
// Message boxes, file dialogs and the folder browser (system_dialogs.cc).
void RegisterDialogBuiltins(Instance* instance);

}  // namespace script
