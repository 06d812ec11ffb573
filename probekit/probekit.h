// probekit: three capability probes for an installation, exported with C linkage from
// the shared library probekit.dll. Each takes a pointer to a 32-bit answer (which may be
// null: the answer is then only returned) and returns a 32-bit value.
//   CheckCab     1 when the system library CABINET.DLL loads, else 0; returns the same.
//   CheckKatmai  0 none, 1 SIMD extensions (SSE) usable, 2 3DNow!; returns 1 when the
//                answer is 1 or 2, else 0.
//   CheckUK      1 when the user's default locale is English (United Kingdom), 2057;
//                returns the locale identifier.
// The library keeps no state between calls.
#pragma once

#include <cstdint>

#if defined(__GNUC__)
#define PROBEKIT_EXPORT __attribute__((visibility("default")))
#else
#define PROBEKIT_EXPORT
#endif

extern "C" {
PROBEKIT_EXPORT std::int32_t CheckCab(std::int32_t* answer);
PROBEKIT_EXPORT std::int32_t CheckKatmai(std::int32_t* answer);
PROBEKIT_EXPORT std::int32_t CheckUK(std::int32_t* answer);
}
