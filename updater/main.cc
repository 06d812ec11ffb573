// ZomaUp: keeps the Zoma client software current, then starts the client.
#include <memory>

#include "platform/boot.h"
#include "updater/application.h"
#include "updater/post_update.h"
#include "updater/system_services.h"

int main() {
  // What a restart of Windows would have done comes first, as it would on Windows.
  platform::RunBootActionsIfPending();
  zoma::SystemServices& system = zoma::DefaultSystemServices();
  std::unique_ptr<zoma::PostUpdateActions> post_update = zoma::CreatePostUpdateActions(system);
  // Never destroyed: an update thread the user left behind (Enter) ends with the process
  // rather than being waited for.
  auto* application = new zoma::Application(system, *post_update);
  int exit_code = application->Run();
  system.ExitProcess(exit_code);
  return exit_code;
}
