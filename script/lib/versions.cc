// The version library: checksums, patches and after-reboot changes, archives, file
// versions, self-registration and update control. Registered last when an instance is
// created, after the token sets. Each group of rows lives in its own file; the order
// of the calls below is the library's registration order.
#include "script/libraries.h"

namespace script {

void RegisterVersionLibrary(Instance* instance) {
  // Checksum and its script-text family (lib/checksums.cc).
  RegisterChecksumRows(instance);
  // RTPatch, IsFileWriteable, ModuleLoadsProperly, the after-reboot rows and
  // IsCookedFile (lib/patches.cc).
  RegisterPatchRows(instance);
  // GZip, GUnzip and the cabinet rows (lib/archives.cc).
  RegisterArchiveRows(instance);
  // SelfRegister ... LaunchGameImmediately (lib/file_versions.cc).
  RegisterFileVersionRows(instance);
}

}  // namespace script
