// StartProcess: CreateProcess with the store's option bits.
#include "clientcfg/start_process.h"

namespace clientcfg {

bool StartProcess(const std::string& command_line, unsigned options,
                  platform::ProcessInformation* info) {
  platform::CreateProcessOptions create;
  create.creation_flags = platform::kNormalPriorityClass;
  if ((options & kStartSuspended) && !(options & kStartWait))
    create.creation_flags |= platform::kCreateSuspended;
  if (options & kStartMinimized) {
    create.startup.flags |= platform::kStartfUseShowWindow;
    create.startup.show_window = platform::kSwShowMinimized;
  }
  platform::ProcessInformation local;
  platform::ProcessInformation* target = info ? info : &local;
  if (!platform::CreateProcess(command_line, create, target)) return false;
  if (!info) platform::CloseHandle(target->thread);
  if (options & kStartWait) platform::WaitForSingleObject(target->process, platform::kInfinite);
  if (!info) platform::CloseHandle(target->process);
  return true;
}

}  // namespace clientcfg
