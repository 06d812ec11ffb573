// The SIMD probe's decision: SSE with the floating-point unit, conditional moves and
// MMX, usable only when the operating system runs SSE instructions; else 3DNow!.
#include "probekit/processor.h"

namespace probekit {

KatmaiResult ProbeSimd(Processor& processor) {
  KatmaiResult result;
  if (!processor.HasCpuid()) return result;
  // FPU (0), CMOV (15), MMX (23) and SSE (25) in leaf 1's EDX.
  constexpr std::uint32_t kKatmaiFeatures = 0x02808001;
  if ((processor.Cpuid(1, 0).edx & kKatmaiFeatures) == kKatmaiFeatures &&
      processor.SseInstructionRuns()) {
    result.answer = kSseUsable;
    result.returned = 1;
    return result;
  }
  if (processor.Cpuid(0x80000000u, 0).eax <= 0x80000000u) return result;
  if (processor.Cpuid(0x80000001u, 0).edx & 0x80000000u) {
    result.answer = k3DNow;
    result.returned = 1;
  }
  return result;
}

}  // namespace probekit
