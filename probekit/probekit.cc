// probekit's exports.
#include "probekit/probekit.h"

#include "platform/module.h"
#include "platform/sysinfo.h"
#include "probekit/processor.h"

namespace {

constexpr std::uint32_t kEnglishUnitedKingdom = 2057;

void Answer(std::int32_t* answer, std::int32_t value) {
  if (answer) *answer = value;
}

}  // namespace

extern "C" {

std::int32_t CheckCab(std::int32_t* answer) {
  platform::ModuleHandle cabinet = platform::LoadLibrary("CABINET.DLL");
  std::int32_t loaded = cabinet != nullptr;
  if (cabinet) platform::FreeLibrary(cabinet);
  Answer(answer, loaded);
  return loaded;
}

std::int32_t CheckKatmai(std::int32_t* answer) {
  probekit::KatmaiResult result = probekit::ProbeSimd(probekit::HostProcessor());
  Answer(answer, result.answer);
  return result.returned;
}

std::int32_t CheckUK(std::int32_t* answer) {
  std::uint32_t locale = platform::GetUserDefaultLCID();
  Answer(answer, locale == kEnglishUnitedKingdom);
  return static_cast<std::int32_t>(locale);
}

}  // extern "C"
