// The SIMD probe's decision against processors and systems this machine is not.
#include <gtest/gtest.h>

#include <map>

#include "probekit/processor.h"

namespace probekit {
namespace {

constexpr std::uint32_t kKatmaiEdx = 0x02808001;

class FakeProcessor : public Processor {
 public:
  bool has_cpuid = true;
  bool sse_runs = true;
  std::map<std::uint32_t, CpuidResult> leaves;
  int sse_attempts = 0;

  bool HasCpuid() override { return has_cpuid; }
  CpuidResult Cpuid(std::uint32_t leaf, std::uint32_t) override {
    auto it = leaves.find(leaf);
    return it == leaves.end() ? CpuidResult{} : it->second;
  }
  bool SseInstructionRuns() override {
    ++sse_attempts;
    return sse_runs;
  }

  void With3DNow() {
    leaves[0x80000000u].eax = 0x80000001u;
    leaves[0x80000001u].edx = 0x80000000u;
  }
};

TEST(ProbeSimd, SseNeedsEveryFeatureBitAndTheSystem) {
  FakeProcessor katmai;
  katmai.leaves[1].edx = kKatmaiEdx;
  KatmaiResult result = ProbeSimd(katmai);
  EXPECT_EQ(result.answer, kSseUsable);
  EXPECT_EQ(result.returned, 1);

  // Each of FPU, CMOV, MMX and SSE missing: the instruction is never tried.
  for (std::uint32_t bit : {0u, 15u, 23u, 25u}) {
    FakeProcessor partial;
    partial.leaves[1].edx = kKatmaiEdx & ~(1u << bit);
    result = ProbeSimd(partial);
    EXPECT_EQ(result.answer, kNoSimd) << "bit " << bit;
    EXPECT_EQ(result.returned, 0) << "bit " << bit;
    EXPECT_EQ(partial.sse_attempts, 0) << "bit " << bit;
  }
}

TEST(ProbeSimd, SseWithoutSystemSupportFallsThroughTo3DNow) {
  FakeProcessor athlon;
  athlon.leaves[1].edx = kKatmaiEdx;
  athlon.sse_runs = false;
  athlon.With3DNow();
  KatmaiResult result = ProbeSimd(athlon);
  EXPECT_EQ(result.answer, k3DNow);
  EXPECT_EQ(result.returned, 1);

  // Usable SSE wins over 3DNow!.
  athlon.sse_runs = true;
  EXPECT_EQ(ProbeSimd(athlon).answer, kSseUsable);
}

TEST(ProbeSimd, ThreeDNowNeedsTheExtendedLeaf) {
  FakeProcessor k6;
  k6.leaves[0x80000001u].edx = 0x80000000u;  // bit set, but the leaf is not reported
  k6.leaves[0x80000000u].eax = 0x80000000u;
  KatmaiResult result = ProbeSimd(k6);
  EXPECT_EQ(result.answer, kNoSimd);
  EXPECT_EQ(result.returned, 0);

  k6.leaves[0x80000000u].eax = 0x80000001u;
  k6.leaves[0x80000001u].edx = 0x7FFFFFFFu;  // every bit but 3DNow!'s
  EXPECT_EQ(ProbeSimd(k6).answer, kNoSimd);
}

TEST(ProbeSimd, NoIdentificationInstructionAnswersNone) {
  FakeProcessor i486;
  i486.has_cpuid = false;
  i486.leaves[1].edx = kKatmaiEdx;
  i486.With3DNow();
  KatmaiResult result = ProbeSimd(i486);
  EXPECT_EQ(result.answer, kNoSimd);
  EXPECT_EQ(result.returned, 0);
  EXPECT_EQ(i486.sse_attempts, 0);
}

}  // namespace
}  // namespace probekit
