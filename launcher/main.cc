// GoToZOMA: opens the game's page on the network, installing the client first if need be.
#include <string>
#include <vector>

#include "launcher/launcher.h"
#include "platform/boot.h"

int main(int argc, char** argv) {
  // What a restart of Windows would have done comes first, as it would on Windows.
  platform::RunBootActionsIfPending();
  std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  return zoma::launcher::RunLauncher(arguments);
}
