// The 8-bit conversions compiled for SSE2: eight samples a step.
#include "convert/chroma8_simd.inc"

#if !TRELVANE_SIMD_X86
bool trelvane::sse2::UseChroma8Kernels(Chroma8Kernels&) { return false; }
#endif
