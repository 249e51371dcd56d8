// Finds the processor's vector levels once per process.
#include "kernels/cpu_features.h"

#if defined(_MSC_VER) && (defined(_M_IX86) || defined(_M_X64))
#include <intrin.h>
#endif

namespace trelvane {

namespace {

uint32_t Detect() {
    uint32_t features = 0;
#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
    // The compiler's feature test checks the operating system's support of
    // the 256-bit registers along with the processor's.
    __builtin_cpu_init();
    if (__builtin_cpu_supports("sse2")) features |= kCpuSse2;
    if ((features & kCpuSse2) != 0 && __builtin_cpu_supports("avx2")) features |= kCpuAvx2;
#elif defined(_M_X64)
    features |= kCpuSse2;
#elif defined(_M_IX86)
    int info[4] = {};
    __cpuid(info, 1);
    if ((info[3] & (1 << 26)) != 0) features |= kCpuSse2;  // CPUID.1:EDX bit 26
#endif
    return features;
}

}  // namespace

uint32_t ProcessorCpuFeatures() {
    static const uint32_t features = Detect();
    return features;
}

}  // namespace trelvane
