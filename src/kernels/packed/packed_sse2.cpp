// The packed kernels compiled for SSE2: 128-bit vectors, two positions a step.
#include "kernels/packed/packed_simd.inc"

#if !TRELVANE_SIMD_X86
bool trelvane::sse2::UsePackedKernels(PackedKernels&) { return false; }
#endif
