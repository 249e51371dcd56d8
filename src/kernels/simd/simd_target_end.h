// Closes the region simd_target_begin.h opened.
#if TRELVANE_SIMD_X86
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#endif
