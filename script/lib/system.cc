// The system library: the file-system built-ins and the system services. For now it
// holds DeleteFile, which the status file needs, and the registry built-ins.
#include <string>

#include "platform/files.h"
#include "script/lib/arguments.h"
#include "script/libraries.h"

namespace script {
namespace {

// Deletes each named file, read-only ones too; a file that will not go keeps its
// attributes. Writes the number deleted.
void DeleteFileBuiltin(Call& call) {
  int deleted = 0;
  for (int i = 1; i < call.argc; ++i) {
    std::string name(Unquoted(call, i));
    uint32_t attributes = platform::GetFileAttributes(name);
    if (attributes != platform::kInvalidFileAttributes) {
      platform::SetFileAttributes(name, platform::kFileAttributeNormal);
    }
    if (platform::DeleteFile(name)) {
      ++deleted;
    } else if (attributes != platform::kInvalidFileAttributes) {
      platform::SetFileAttributes(name, attributes);
    }
  }
  call.WriteInteger(deleted);
}

const BuiltinRow kSystemBuiltins[] = {
    {"DeleteFile", DeleteFileBuiltin, 0, 1},
};

}  // namespace

void RegisterSystemLibrary(Instance* instance) {
  RegisterTable(instance, kSystemBuiltins);
  RegisterRegistryBuiltins(instance);
}

}  // namespace script
