// The portable lane model of the packed kernels: every lane computed on its
// own in plain C++, with the saturating 16-bit adds, exact 32-bit
// multiply-adds, floor shifts and saturating stores the packed arithmetic
// defines. It is the reference the SIMD forms must match bit for bit, and the
// form that runs where there is no SIMD form.
#include <algorithm>
#include <cstddef>

#include "kernels/packed/packed_constants.h"
#include "kernels/packed/packed_kernels.h"
#include "kernels/scalar/fixed_point.h"
#include "kernels/scalar/iq_rotation.h"

namespace trelvane {

namespace {

constexpr int L = kQuadLanes;

int16_t SaturatingAdd(int16_t a, int16_t b) { return Saturate16(int32_t{a} + b); }

int16_t SaturatingSub(int16_t a, int16_t b) { return Saturate16(int32_t{a} - b); }

// One lane of a pairwise multiply-add. No coefficient is -32768, so the sum
// of the two exact products stays inside 32 bits.
int32_t MultiplyAddPair(QuadTapPair c, int16_t first, int16_t second) {
    return c.first * int32_t{first} + c.second * int32_t{second};
}

const PIXEL_YC* RowOf(const PIXEL_YC* first, int k, int pitch) {
    return first + static_cast<ptrdiff_t>(k) * pitch;
}

// Lane k of the fold at distance d around a position: the two samples
// added with 16-bit saturation.
int16_t Fold(const int16_t* centre, int d, int k) {
    return SaturatingAdd(centre[L * d + k], centre[-L * d + k]);
}

// Each coefficient pair's products are added into the four lanes' sums in
// turn. The 32-bit sums cannot wrap: every fold is at most 32768 in magnitude
// and each table's magnitudes add up to less than 43000.
template <int Pairs>
void QuadLowPass(int16_t* dst, const int16_t* src, int count, const QuadFilterTaps<Pairs>& taps) {
    for (int p = 0; p < count; ++p) {
        const int16_t* centre = src + L * p;
        int32_t acc[L] = {kQuadFilterRound, kQuadFilterRound, kQuadFilterRound, kQuadFilterRound};
        for (int i = 0; i < Pairs; ++i) {
            const int d = 2 * (Pairs - 1 - i);
            for (int k = 0; k < L; ++k) {
                int16_t inner = centre[k];
                if (d > 0) {
                    inner = Fold(centre, d, k);
                } else if (taps.doubledCentre) {
                    inner = SaturatingAdd(centre[k], centre[k]);
                }
                acc[k] += MultiplyAddPair(taps.pairs[i], inner, Fold(centre, d + 1, k));
            }
        }
        for (int k = 0; k < L; ++k) dst[L * p + k] = Saturate16(acc[k] >> kQuadFilterShift);
    }
}

int16_t RotatedSample(QuadTapPair c, int16_t first, int16_t second) {
    return Saturate16((MultiplyAddPair(c, second, first) + kRotationRound) >> kRotationShift);
}

// Whole positions by the packed rule, then the count mod 4 values after them
// by the scalar kernel.
void RotateQuad(int16_t* a, int16_t* b, int count, QuadTapPair toA, QuadTapPair toB,
                void (*scalar)(int16_t*, int16_t*, int)) {
    if (count <= 0) return;
    const int grouped = count / L * L;
    for (int j = 0; j < grouped; ++j) {
        const int16_t first = a[j];
        const int16_t second = b[j];
        a[j] = RotatedSample(toA, first, second);
        b[j] = RotatedSample(toB, first, second);
    }
    scalar(a + grouped, b + grouped, count - grouped);
}

// (factor * d) >> 6, saturated; factor and d are 16-bit, so the product is exact.
int16_t ScaledDifference(int16_t d, int16_t factor) {
    return Saturate16((int32_t{factor} * d) >> kBlendShift);
}

int16_t BlendFactor(int strength) { return Low16(WrapMul(2, strength)); }

// The coring of one lane, all in 16 bits: the magnitude of -32768 stays
// -32768, the ramp 5a - 4t is formed as a + 4(a - t) and wraps.
int16_t CoredDifference(int16_t d, int16_t threshold) {
    const int16_t magnitude = Low16(d < 0 ? -int32_t{d} : d);
    const int16_t below = Low16(int32_t{magnitude} - threshold);
    int16_t k = magnitude;
    if (below < 0) {
        const int16_t ramp = Low16(int32_t{magnitude} + 4 * int32_t{below});
        k = ramp < 0 ? int16_t{0} : ramp;
    }
    return d < 0 ? Low16(-int32_t{k}) : k;
}

}  // namespace

void GatherChromaQuad(int16_t* crLine, int16_t* cbLine, const PIXEL_YC* first, int count,
                      int pitch) {
    if (count <= 0) return;
    const int positions = count + 2 * kQuadEdge;
    for (int k = 0; k < L; ++k) {
        const PIXEL_YC* row = RowOf(first, k, pitch);
        for (int p = 0; p < positions; ++p) {
            // Edge positions repeat the first and the last sample taken.
            const int j = std::clamp(p - kQuadEdge, 0, count - 1);
            crLine[L * p + k] = row[2 * j].cr;
            cbLine[L * p + k] = row[2 * j].cb;
        }
    }
}

void ScatterChromaQuad(PIXEL_YC* first, const int16_t* crLine, const int16_t* cbLine, int count,
                       int pitch) {
    // Nothing to write: not even the row addresses are formed (first may be null).
    if (count <= 0) return;
    for (int k = 0; k < L; ++k) {
        PIXEL_YC* row = first + static_cast<ptrdiff_t>(k) * pitch;
        for (int i = 0; i < count; ++i) {
            row[i].cr = crLine[L * i + k];
            row[i].cb = cbLine[L * i + k];
        }
    }
}

void LowPass640Quad(int16_t* dst, const int16_t* src, int count) {
    QuadLowPass(dst, src, count, kLowPass640QuadTaps);
}

void LowPass720Quad(int16_t* dst, const int16_t* src, int count) {
    QuadLowPass(dst, src, count, kLowPass720QuadTaps);
}

void WideLowPassQuad(int16_t* dst, const int16_t* src, int count) {
    QuadLowPass(dst, src, count, kWideLowPassQuadTaps);
}

void RotateToIQQuad(int16_t* crLine, int16_t* cbLine, int count) {
    RotateQuad(crLine, cbLine, count, kIFromCbCr, kQFromCbCr, RotateToIQ);
}

void RotateFromIQQuad(int16_t* iLine, int16_t* qLine, int count) {
    RotateQuad(iLine, qLine, count, kCrFromQI, kCbFromQI, RotateFromIQ);
}

void BlendDetailQuad(int16_t* f, const int16_t* x, int count, int strength) {
    if (count <= 0) return;
    const int16_t factor = BlendFactor(strength);
    const int grouped = count / L * L;
    for (int j = 0; j < grouped; ++j) {
        f[j] = SaturatingAdd(f[j], ScaledDifference(SaturatingSub(x[j], f[j]), factor));
    }
    BlendDetail(f + grouped, x + grouped, count - grouped, strength);
}

void BlendDetailCoredQuad(int16_t* f, const int16_t* x, int count, int strength, int noise) {
    if (count <= 0) return;
    const int16_t factor = BlendFactor(strength);
    const int16_t threshold = Low16(noise);
    const int grouped = count / L * L;
    for (int j = 0; j < grouped; ++j) {
        const int16_t k = CoredDifference(SaturatingSub(x[j], f[j]), threshold);
        f[j] = SaturatingAdd(f[j], ScaledDifference(k, factor));
    }
    BlendDetailCored(f + grouped, x + grouped, count - grouped, strength, noise);
}

void UpsampleChroma2xQuad(int16_t* dst, const int16_t* src, int n) {
    // Neighbours beyond either end are the end positions themselves.
    const auto at = [src, n](int i) { return src + L * std::clamp(i, 0, n - 1); };
    for (int i = 0; i < n; ++i) {
        const int16_t* p = at(i - 1);
        const int16_t* m = at(i);
        const int16_t* q = at(i + 1);
        const int16_t* r = at(i + 2);
        for (int k = 0; k < L; ++k) {
            const int32_t sum = MultiplyAddPair(kUpsampleOuterInner, p[k], m[k]) +
                                kUpsampleRound +
                                MultiplyAddPair(kUpsampleOuterInner, r[k], q[k]);
            dst[L * (2 * i) + k] = m[k];
            dst[L * (2 * i + 1) + k] = Saturate16(sum >> kUpsampleShift);
        }
    }
}

}  // namespace trelvane
