// Opens a region compiled for one x86 vector level, for a source written once
// over the vectors of x86_vectors-inl.h and compiled once per level.
//
// The including file defines TRELVANE_SIMD_AVX2 (256-bit vectors, AVX2) or
// nothing (128-bit vectors, SSE2), includes every standard header it needs
// first, and closes the region with simd_target_end.h. Everything between is
// compiled for the level and must live in TRELVANE_SIMD_NS inside an unnamed
// namespace: internal linkage keeps the linker from merging any of it with a
// copy compiled for another level (or for the baseline, which on 32-bit x86
// has no SSE2). Only plain functions outside the region, compiled for the
// baseline, may hand out its addresses.
//
// TRELVANE_SIMD_X86 is 1 where such a region can be compiled at all: x86
// with GCC or clang.
#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define TRELVANE_SIMD_X86 1
#else
#define TRELVANE_SIMD_X86 0
#endif

#if TRELVANE_SIMD_X86

// Before the region: the intrinsics carry their own target attributes, and
// what else this header brings in (mm_malloc.h) must stay baseline code.
#include <immintrin.h>

#if defined(TRELVANE_SIMD_AVX2)
#define TRELVANE_SIMD_NS avx2
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif
#else
#define TRELVANE_SIMD_NS sse2
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("sse2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("sse2")
#endif
#endif

#endif
