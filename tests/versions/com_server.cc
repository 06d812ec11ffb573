// A stand-in COM server: registering writes its class key, unregistering removes it.
// Built twice, with and without the OLESelfRegister marker in its version block.
#include <cstdint>

#include "platform/registry.h"

namespace {
constexpr char kKey[] = "HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\" SERVER_CLSID;
}

extern "C" __attribute__((visibility("default"))) std::int32_t DllRegisterServer() {
  return platform::reg::WriteString(kKey, "", "Zoma test server") == 0 ? 0 : 0x80004005;
}

extern "C" __attribute__((visibility("default"))) std::int32_t DllUnregisterServer() {
  return platform::reg::DeleteTree(platform::reg::kLocalMachine,
                                   "Software\\Classes\\CLSID\\" SERVER_CLSID) == 0
             ? 0
             : 0x80004005;
}
