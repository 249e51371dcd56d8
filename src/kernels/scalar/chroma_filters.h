// Scalar symmetric low-pass filters over a half-rate chroma line.
#pragma once

#include <cstdint>

namespace trelvane {

// Q16 taps h[0..9] (h[-k] = h[k]); each full table sums to 65536.
inline constexpr int32_t kLowPass640Taps[10] = {10762, 10063, 8178, 5660, 3170,
                                                1231,  70,    -383, -385, -217};
inline constexpr int32_t kLowPass720Taps[10] = {9792, 9246, 7752, 5693, 3552,
                                                1748, 518,  -115, -294, -228};
// The wide kernel has 15 taps: h[0..7].
inline constexpr int32_t kWideLowPassTaps[8] = {32892, 19937, -107, -4573, 59, 1198, -19, -173};

// Each writes n outputs from the body of an extended line (ChromaLine element
// 16): 19 taps for the band-limiting pair, 15 for the wide detail filter.
// The source must be readable 9 (wide: 7) elements beyond either end.
using LowPassFn = void (*)(int16_t* dst, const int16_t* src, int n);

void LowPass640(int16_t* dst, const int16_t* src, int n);
void LowPass720(int16_t* dst, const int16_t* src, int n);
void WideLowPass(int16_t* dst, const int16_t* src, int n);

}  // namespace trelvane
