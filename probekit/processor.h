// What CheckKatmai asks of the processor, behind an interface so that the decision can
// be tried against processors this machine is not.
#pragma once

#include <cstdint>

namespace probekit {

struct CpuidResult {
  std::uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
};

class Processor {
 public:
  virtual ~Processor() = default;
  /// Whether the ID bit (21) of the flags register can be flipped: the processor has
  /// the identification instruction.
  virtual bool HasCpuid() = 0;
  virtual CpuidResult Cpuid(std::uint32_t leaf, std::uint32_t subleaf) = 0;
  /// Runs one SSE instruction; false when it faults as an illegal instruction (the
  /// operating system keeps no SSE state).
  virtual bool SseInstructionRuns() = 0;
};

/// This machine's processor.
Processor& HostProcessor();

inline constexpr std::int32_t kNoSimd = 0;
inline constexpr std::int32_t kSseUsable = 1;
inline constexpr std::int32_t k3DNow = 2;

/// The answer (0, 1, 2) and the return value (1 for 1 and 2, else 0).
struct KatmaiResult {
  std::int32_t answer = kNoSimd;
  std::int32_t returned = 0;
};
KatmaiResult ProbeSimd(Processor& processor);

}  // namespace probekit
