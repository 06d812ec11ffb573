// The host processor on x86 and x86-64: the ID-bit test, CPUID, and one SSE instruction
// run under a handler for SIGILL (what structured exception handling catches on
// Windows as an illegal-instruction exception). On other processors there is no
// identification instruction, so every probe answers "none".
#include <setjmp.h>
#include <signal.h>

#include <mutex>

#include "probekit/processor.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace probekit {
namespace {

#if defined(__i386__) || defined(__x86_64__)

sigjmp_buf illegal_instruction_exit;

void OnIllegalInstruction(int) { siglongjmp(illegal_instruction_exit, 1); }

class X86Processor : public Processor {
 public:
  bool HasCpuid() override {
#if defined(__x86_64__)
    // Every 64-bit processor has the instruction; flip the bit all the same.
    std::uint64_t before, after;
    asm volatile(
        "pushfq\n\t"
        "popq %0\n\t"
        "movq %0, %1\n\t"
        "xorq $0x200000, %1\n\t"
        "pushq %1\n\t"
        "popfq\n\t"
        "pushfq\n\t"
        "popq %1\n\t"
        "pushq %0\n\t"
        "popfq"
        : "=&r"(before), "=&r"(after)
        :
        : "cc");
#else
    std::uint32_t before, after;
    asm volatile(
        "pushfl\n\t"
        "popl %0\n\t"
        "movl %0, %1\n\t"
        "xorl $0x200000, %1\n\t"
        "pushl %1\n\t"
        "popfl\n\t"
        "pushfl\n\t"
        "popl %1\n\t"
        "pushl %0\n\t"
        "popfl"
        : "=&r"(before), "=&r"(after)
        :
        : "cc");
#endif
    return ((before ^ after) & 0x200000) != 0;
  }

  CpuidResult Cpuid(std::uint32_t leaf, std::uint32_t subleaf) override {
    CpuidResult r;
    __cpuid_count(leaf, subleaf, r.eax, r.ebx, r.ecx, r.edx);
    return r;
  }

  bool SseInstructionRuns() override {
    // The handler is the process's for a moment; one probe at a time.
    static std::mutex probing;
    std::lock_guard<std::mutex> lock(probing);
    struct sigaction handler = {}, previous = {};
    handler.sa_handler = OnIllegalInstruction;
    sigemptyset(&handler.sa_mask);
    if (sigaction(SIGILL, &handler, &previous) != 0) return false;
    volatile bool runs = false;
    if (sigsetjmp(illegal_instruction_exit, 1) == 0) {
      asm volatile("xorps %%xmm0, %%xmm0" ::: "xmm0");
      runs = true;
    }
    sigaction(SIGILL, &previous, nullptr);
    return runs;
  }
};

#else

class X86Processor : public Processor {
 public:
  bool HasCpuid() override { return false; }
  CpuidResult Cpuid(std::uint32_t, std::uint32_t) override { return {}; }
  bool SseInstructionRuns() override { return false; }
};

#endif

}  // namespace

Processor& HostProcessor() {
  static X86Processor processor;
  return processor;
}

}  // namespace probekit
