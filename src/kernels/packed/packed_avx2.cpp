// The packed kernels compiled for AVX2: 256-bit vectors, four positions a
// step. Windows builds have none: GCC there cannot be relied on to align the
// stack for spilled 256-bit registers.
#if defined(_WIN32)
#include "kernels/packed/packed_kernels.h"

bool trelvane::avx2::UsePackedKernels(PackedKernels&) { return false; }
#else
#define TRELVANE_SIMD_AVX2
#include "kernels/packed/packed_simd.inc"

#if !TRELVANE_SIMD_X86
bool trelvane::avx2::UsePackedKernels(PackedKernels&) { return false; }
#endif
#endif
