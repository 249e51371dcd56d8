// Constant tables of the packed kernels, in the form the packed
// arithmetic uses: pairs of 16-bit coefficients for one pairwise
// multiply-add, plus the rounding terms and shifts.
#pragma once

#include <cstdint>

#include "kernels/scalar/chroma_filters.h"
#include "kernels/scalar/iq_rotation.h"

namespace trelvane {

// first multiplies the operand interleaved first, second the one after it;
// the two products are summed exactly into one 32-bit value.
struct QuadTapPair {
    int16_t first;
    int16_t second;
};

// A symmetric filter as coefficient pairs in the order they are added.
// Pair i multiplies the folds at distances d = 2 (Pairs - 1 - i) and d + 1;
// at d = 0 the first member multiplies the centre sample instead (doubled
// with a saturating add when doubledCentre, for a centre tap above 32767).
template <int Pairs>
struct QuadFilterTaps {
    QuadTapPair pairs[Pairs];
    bool doubledCentre;
};

template <int Pairs>
constexpr QuadFilterTaps<Pairs> MakeQuadFilterTaps(const int32_t (&taps)[2 * Pairs],
                                                   bool doubledCentre) {
    QuadFilterTaps<Pairs> q{};
    for (int i = 0; i < Pairs; ++i) {
        const int d = 2 * (Pairs - 1 - i);
        const int32_t first = d == 0 && doubledCentre ? taps[0] / 2 : taps[d];
        q.pairs[i] = {static_cast<int16_t>(first), static_cast<int16_t>(taps[d + 1])};
    }
    q.doubledCentre = doubledCentre;
    return q;
}

static_assert(kWideLowPassTaps[0] % 2 == 0 && kWideLowPassTaps[0] / 2 <= 32767,
              "the wide centre tap is applied to the doubled centre sample");

inline constexpr auto kLowPass640QuadTaps = MakeQuadFilterTaps<5>(kLowPass640Taps, false);
inline constexpr auto kLowPass720QuadTaps = MakeQuadFilterTaps<5>(kLowPass720Taps, false);
inline constexpr auto kWideLowPassQuadTaps = MakeQuadFilterTaps<4>(kWideLowPassTaps, true);

constexpr int32_t kQuadFilterRound = 32768;
constexpr int kQuadFilterShift = 16;

// Rotations interleave (second line, first line): the pairs are
// (coefficient of the second input, coefficient of the first input).
inline constexpr QuadTapPair kIFromCbCr{kIFromCb, kIFromCr};
inline constexpr QuadTapPair kQFromCbCr{kQFromCb, kQFromCr};
inline constexpr QuadTapPair kCrFromQI{kCrFromQ, kCrFromI};
inline constexpr QuadTapPair kCbFromQI{kCbFromQ, kCbFromI};
constexpr int32_t kRotationRound = 8192;
constexpr int kRotationShift = 14;

// The interpolator pairs (outer neighbour, inner neighbour): 9 m - p and
// 9 q - r, summed with the rounding term and shifted by 4.
inline constexpr QuadTapPair kUpsampleOuterInner{-1, 9};
constexpr int32_t kUpsampleRound = 8;
constexpr int kUpsampleShift = 4;

// Blends add (2 s d) >> 6; the packed factor is the low 16 bits of 2s.
constexpr int kBlendShift = 6;

}  // namespace trelvane
