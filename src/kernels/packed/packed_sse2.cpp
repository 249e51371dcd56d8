// The SSE2 form of the four-row packed kernels: the same per-lane results as
// the portable form, two positions (eight rows' samples) per 128-bit register
// where the count allows and one position in the low half for an odd tail.
// Memory keeps the QuadLine interleave; positions are only 8-byte aligned,
// so every load and store is unaligned.
//
// On 32-bit x86 the library is compiled without SSE2, and a processor without
// it must never reach an SSE2 instruction. So only the functions of this file
// that carry TRELVANE_SSE2 are compiled for SSE2, they all have internal
// linkage (nothing here can be merged by the linker with a copy compiled for
// another processor), and they run only after the processor has been found to
// support SSE2.
#include "kernels/packed/packed_kernels.h"

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)

#include <emmintrin.h>

#include <cstddef>
#include <cstring>

#include "kernels/packed/packed_constants.h"
#include "kernels/scalar/fixed_point.h"
#include "kernels/scalar/iq_rotation.h"

#if defined(__GNUC__) || defined(__clang__)
#define TRELVANE_SSE2 __attribute__((target("sse2")))
#else
#define TRELVANE_SSE2
#endif

namespace trelvane {

// Kept apart from the public entry points of the same names.
namespace sse2_form {
namespace {

constexpr int L = kQuadLanes;

// One position in the low 64 bits, or two positions in all 128.
template <int Positions>
TRELVANE_SSE2 inline __m128i Load(const int16_t* p) {
    const void* raw = p;
    if constexpr (Positions == 2) {
        return _mm_loadu_si128(static_cast<const __m128i*>(raw));
    } else {
        return _mm_loadl_epi64(static_cast<const __m128i*>(raw));
    }
}

template <int Positions>
TRELVANE_SSE2 inline void Store(int16_t* p, __m128i v) {
    void* raw = p;
    if constexpr (Positions == 2) {
        _mm_storeu_si128(static_cast<__m128i*>(raw), v);
    } else {
        _mm_storel_epi64(static_cast<__m128i*>(raw), v);
    }
}

// (first, second, first, second, ...) for one pairwise multiply-add.
TRELVANE_SSE2 inline __m128i PairPattern(QuadTapPair c) {
    return _mm_set_epi16(c.second, c.first, c.second, c.first, c.second, c.first, c.second,
                         c.first);
}

// first * a + second * b per lane, exactly in 32 bits, for the lower four
// lanes (one position) ...
TRELVANE_SSE2 inline __m128i MultiplyAddLow(__m128i a, __m128i b, __m128i pattern) {
    return _mm_madd_epi16(_mm_unpacklo_epi16(a, b), pattern);
}

// ... and for the upper four lanes (the second position).
TRELVANE_SSE2 inline __m128i MultiplyAddHigh(__m128i a, __m128i b, __m128i pattern) {
    return _mm_madd_epi16(_mm_unpackhi_epi16(a, b), pattern);
}

// Floor-shifts two sets of four 32-bit sums and packs them, saturated, into
// one or two positions.
template <int Shift>
TRELVANE_SSE2 inline __m128i ShiftPack(__m128i low, __m128i high) {
    return _mm_packs_epi32(_mm_srai_epi32(low, Shift), _mm_srai_epi32(high, Shift));
}

// ---- Gather and scatter: 16-bit copies, cb and cr of a pixel as one 32-bit unit.

const unsigned char* ChromaBytes(const PIXEL_YC* px) {
    return reinterpret_cast<const unsigned char*>(px) + offsetof(PIXEL_YC, cb);
}

unsigned char* ChromaBytes(PIXEL_YC* px) {
    return reinterpret_cast<unsigned char*>(px) + offsetof(PIXEL_YC, cb);
}

static_assert(offsetof(PIXEL_YC, cr) == offsetof(PIXEL_YC, cb) + 2);

using QuadRows = const PIXEL_YC* [L];

// The cb of the four rows' pixel in the low 64 bits, their cr in the high 64.
TRELVANE_SSE2 inline __m128i ChromaPosition(const QuadRows& rows, int pixel) {
    __m128i v[L];
    for (int k = 0; k < L; ++k) {
        int32_t pair;
        std::memcpy(&pair, ChromaBytes(rows[k] + pixel), sizeof pair);
        v[k] = _mm_cvtsi32_si128(pair);
    }
    return _mm_unpacklo_epi32(_mm_unpacklo_epi16(v[0], v[1]), _mm_unpacklo_epi16(v[2], v[3]));
}

// The 16 edge positions of both lines, all equal to one gathered position.
TRELVANE_SSE2 inline void FillEdge(int16_t* crLine, int16_t* cbLine, __m128i position) {
    const __m128i cb = _mm_unpacklo_epi64(position, position);
    const __m128i cr = _mm_unpackhi_epi64(position, position);
    for (int p = 0; p < kQuadEdge; p += 2) {
        Store<2>(cbLine + L * p, cb);
        Store<2>(crLine + L * p, cr);
    }
}

TRELVANE_SSE2 void GatherChromaQuad(int16_t* crLine, int16_t* cbLine, const PIXEL_YC* first,
                                    int count, int pitch) {
    if (count <= 0) return;
    QuadRows rows;
    for (int k = 0; k < L; ++k) rows[k] = first + static_cast<ptrdiff_t>(k) * pitch;
    FillEdge(crLine, cbLine, ChromaPosition(rows, 0));
    int16_t* const crBody = crLine + L * kQuadEdge;
    int16_t* const cbBody = cbLine + L * kQuadEdge;
    int i = 0;
    for (; i + 2 <= count; i += 2) {
        const __m128i a = ChromaPosition(rows, 2 * i);
        const __m128i b = ChromaPosition(rows, 2 * i + 2);
        Store<2>(cbBody + L * i, _mm_unpacklo_epi64(a, b));
        Store<2>(crBody + L * i, _mm_unpackhi_epi64(a, b));
    }
    if (i < count) {
        const __m128i a = ChromaPosition(rows, 2 * i);
        Store<1>(cbBody + L * i, a);
        Store<1>(crBody + L * i, _mm_unpackhi_epi64(a, a));
    }
    FillEdge(crBody + L * count, cbBody + L * count, ChromaPosition(rows, 2 * (count - 1)));
}

// pixelChroma holds (cb, cr) of the four rows' pixel in its four 32-bit lanes.
TRELVANE_SSE2 inline void StoreChroma(PIXEL_YC* const (&rows)[L], int pixel, __m128i pixelChroma) {
    for (int k = 0; k < L; ++k) {
        const int32_t pair = _mm_cvtsi128_si32(pixelChroma);
        std::memcpy(ChromaBytes(rows[k] + pixel), &pair, sizeof pair);
        pixelChroma = _mm_srli_si128(pixelChroma, 4);
    }
}

TRELVANE_SSE2 void ScatterChromaQuad(PIXEL_YC* first, const int16_t* crLine, const int16_t* cbLine,
                                     int count, int pitch) {
    // Nothing to write: not even the row addresses are formed (first may be null).
    if (count <= 0) return;
    PIXEL_YC* rows[L];
    for (int k = 0; k < L; ++k) rows[k] = first + static_cast<ptrdiff_t>(k) * pitch;
    int i = 0;
    for (; i + 2 <= count; i += 2) {
        const __m128i cb = Load<2>(cbLine + L * i);
        const __m128i cr = Load<2>(crLine + L * i);
        StoreChroma(rows, i, _mm_unpacklo_epi16(cb, cr));
        StoreChroma(rows, i + 1, _mm_unpackhi_epi16(cb, cr));
    }
    if (i < count) {
        StoreChroma(rows, i, _mm_unpacklo_epi16(Load<1>(cbLine + L * i), Load<1>(crLine + L * i)));
    }
}

// ---- Filters.

template <int Positions>
TRELVANE_SSE2 inline __m128i Fold(const int16_t* centre, int distance) {
    return _mm_adds_epi16(Load<Positions>(centre + L * distance),
                          Load<Positions>(centre - L * distance));
}

template <int Pairs>
struct FilterPatterns {
    __m128i pairs[Pairs];
    __m128i round;
    bool doubledCentre;
};

template <int Positions, int Pairs>
TRELVANE_SSE2 inline void LowPassStep(int16_t* dst, const int16_t* centre,
                                      const FilterPatterns<Pairs>& f) {
    __m128i low = f.round;
    __m128i high = f.round;
    for (int i = 0; i < Pairs; ++i) {
        const int d = 2 * (Pairs - 1 - i);
        __m128i inner;
        if (d > 0) {
            inner = Fold<Positions>(centre, d);
        } else {
            inner = Load<Positions>(centre);
            if (f.doubledCentre) inner = _mm_adds_epi16(inner, inner);
        }
        const __m128i outer = Fold<Positions>(centre, d + 1);
        low = _mm_add_epi32(low, MultiplyAddLow(inner, outer, f.pairs[i]));
        if constexpr (Positions == 2) {
            high = _mm_add_epi32(high, MultiplyAddHigh(inner, outer, f.pairs[i]));
        }
    }
    Store<Positions>(dst, ShiftPack<kQuadFilterShift>(low, high));
}

template <int Pairs>
TRELVANE_SSE2 inline void QuadLowPass(int16_t* dst, const int16_t* src, int count,
                                      const QuadFilterTaps<Pairs>& taps) {
    FilterPatterns<Pairs> f;
    for (int i = 0; i < Pairs; ++i) f.pairs[i] = PairPattern(taps.pairs[i]);
    f.round = _mm_set1_epi32(kQuadFilterRound);
    f.doubledCentre = taps.doubledCentre;
    int p = 0;
    for (; p + 2 <= count; p += 2) LowPassStep<2>(dst + L * p, src + L * p, f);
    if (p < count) LowPassStep<1>(dst + L * p, src + L * p, f);
}

TRELVANE_SSE2 void LowPass640Quad(int16_t* dst, const int16_t* src, int count) {
    QuadLowPass(dst, src, count, kLowPass640QuadTaps);
}

TRELVANE_SSE2 void LowPass720Quad(int16_t* dst, const int16_t* src, int count) {
    QuadLowPass(dst, src, count, kLowPass720QuadTaps);
}

TRELVANE_SSE2 void WideLowPassQuad(int16_t* dst, const int16_t* src, int count) {
    QuadLowPass(dst, src, count, kWideLowPassQuadTaps);
}

// ---- Rotations and blends: element-wise over whole positions; the count
// mod 4 values after them go through the one-row kernels.

struct RotationPatterns {
    __m128i toFirst;
    __m128i toSecond;
    __m128i round;
};

// One rotated output line for the (second, first) pairs of one or two positions.
TRELVANE_SSE2 inline __m128i Rotated(__m128i first, __m128i second, __m128i pattern,
                                     __m128i round) {
    return ShiftPack<kRotationShift>(_mm_add_epi32(MultiplyAddLow(second, first, pattern), round),
                                     _mm_add_epi32(MultiplyAddHigh(second, first, pattern), round));
}

template <int Positions>
TRELVANE_SSE2 inline void RotateStep(int16_t* a, int16_t* b, const RotationPatterns& r) {
    const __m128i first = Load<Positions>(a);
    const __m128i second = Load<Positions>(b);
    Store<Positions>(a, Rotated(first, second, r.toFirst, r.round));
    Store<Positions>(b, Rotated(first, second, r.toSecond, r.round));
}

TRELVANE_SSE2 inline void RotateQuad(int16_t* a, int16_t* b, int count, QuadTapPair toA,
                                     QuadTapPair toB) {
    const RotationPatterns r{PairPattern(toA), PairPattern(toB), _mm_set1_epi32(kRotationRound)};
    const int positions = count / L;
    int p = 0;
    for (; p + 2 <= positions; p += 2) RotateStep<2>(a + L * p, b + L * p, r);
    if (p < positions) RotateStep<1>(a + L * p, b + L * p, r);
}

TRELVANE_SSE2 void RotateToIQQuad(int16_t* crLine, int16_t* cbLine, int count) {
    if (count <= 0) return;
    RotateQuad(crLine, cbLine, count, kIFromCbCr, kQFromCbCr);
    const int grouped = count / L * L;
    RotateToIQ(crLine + grouped, cbLine + grouped, count - grouped);
}

TRELVANE_SSE2 void RotateFromIQQuad(int16_t* iLine, int16_t* qLine, int count) {
    if (count <= 0) return;
    RotateQuad(iLine, qLine, count, kCrFromQI, kCbFromQI);
    const int grouped = count / L * L;
    RotateFromIQ(iLine + grouped, qLine + grouped, count - grouped);
}

// (factor * d) >> 6 per lane, saturated: the exact 32-bit product is
// rebuilt from its low and high halves.
TRELVANE_SSE2 inline __m128i ScaledDifference(__m128i d, __m128i factor) {
    const __m128i low = _mm_mullo_epi16(d, factor);
    const __m128i high = _mm_mulhi_epi16(d, factor);
    return ShiftPack<kBlendShift>(_mm_unpacklo_epi16(low, high), _mm_unpackhi_epi16(low, high));
}

// The 16-bit coring: magnitude (-32768 stays -32768), below = magnitude - t;
// where below < 0 the ramp magnitude + 4 below, floored at 0; the sign of d
// put back. No branch: the cases are chosen by compare masks.
TRELVANE_SSE2 inline __m128i CoredDifference(__m128i d, __m128i threshold) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i sign = _mm_srai_epi16(d, 15);
    const __m128i magnitude = _mm_sub_epi16(_mm_xor_si128(d, sign), sign);
    const __m128i below = _mm_sub_epi16(magnitude, threshold);
    const __m128i ramp = _mm_max_epi16(_mm_add_epi16(magnitude, _mm_slli_epi16(below, 2)), zero);
    const __m128i inRamp = _mm_cmplt_epi16(below, zero);
    const __m128i k =
        _mm_or_si128(_mm_and_si128(inRamp, ramp), _mm_andnot_si128(inRamp, magnitude));
    return _mm_sub_epi16(_mm_xor_si128(k, sign), sign);
}

struct BlendPatterns {
    __m128i factor;
    __m128i threshold;
    bool cored;
};

template <int Positions>
TRELVANE_SSE2 inline void BlendStep(int16_t* f, const int16_t* x, const BlendPatterns& b) {
    const __m128i target = Load<Positions>(f);
    __m128i d = _mm_subs_epi16(Load<Positions>(x), target);
    if (b.cored) d = CoredDifference(d, b.threshold);
    Store<Positions>(f, _mm_adds_epi16(target, ScaledDifference(d, b.factor)));
}

TRELVANE_SSE2 inline void BlendPositions(int16_t* f, const int16_t* x, int count,
                                         const BlendPatterns& b) {
    const int positions = count / L;
    int p = 0;
    for (; p + 2 <= positions; p += 2) BlendStep<2>(f + L * p, x + L * p, b);
    if (p < positions) BlendStep<1>(f + L * p, x + L * p, b);
}

TRELVANE_SSE2 void BlendDetailQuad(int16_t* f, const int16_t* x, int count, int strength) {
    if (count <= 0) return;
    const BlendPatterns b{_mm_set1_epi16(Low16(WrapMul(2, strength))), _mm_setzero_si128(), false};
    BlendPositions(f, x, count, b);
    const int grouped = count / L * L;
    BlendDetail(f + grouped, x + grouped, count - grouped, strength);
}

TRELVANE_SSE2 void BlendDetailCoredQuad(int16_t* f, const int16_t* x, int count, int strength,
                                        int noise) {
    if (count <= 0) return;
    const BlendPatterns b{_mm_set1_epi16(Low16(WrapMul(2, strength))), _mm_set1_epi16(Low16(noise)),
                          true};
    BlendPositions(f, x, count, b);
    const int grouped = count / L * L;
    BlendDetailCored(f + grouped, x + grouped, count - grouped, strength, noise);
}

// ---- Interpolation.

struct UpsamplePatterns {
    __m128i outerInner;
    __m128i round;
};

// Source positions i (and i + 1) with their neighbours p = s[i-1], m = s[i],
// q = s[i+1], r = s[i+2] already clamped into the line: writes destination
// positions 2i, 2i+1 (and 2i+2, 2i+3).
template <int Positions>
TRELVANE_SSE2 inline void UpsampleStep(int16_t* dst, __m128i p, __m128i m, __m128i q, __m128i r,
                                       const UpsamplePatterns& u) {
    const __m128i low = _mm_add_epi32(_mm_add_epi32(MultiplyAddLow(p, m, u.outerInner), u.round),
                                      MultiplyAddLow(r, q, u.outerInner));
    __m128i high = low;
    if constexpr (Positions == 2) {
        high = _mm_add_epi32(_mm_add_epi32(MultiplyAddHigh(p, m, u.outerInner), u.round),
                             MultiplyAddHigh(r, q, u.outerInner));
    }
    const __m128i odd = ShiftPack<kUpsampleShift>(low, high);
    Store<2>(dst, _mm_unpacklo_epi64(m, odd));
    if constexpr (Positions == 2) Store<2>(dst + 2 * L, _mm_unpackhi_epi64(m, odd));
}

inline const int16_t* ClampedPosition(const int16_t* src, int i, int n) {
    return src + L * (i < 0 ? 0 : (i > n - 1 ? n - 1 : i));
}

TRELVANE_SSE2 inline void UpsampleClamped(int16_t* dst, const int16_t* src, int i, int n,
                                          const UpsamplePatterns& u) {
    UpsampleStep<1>(dst + 2 * L * i, Load<1>(ClampedPosition(src, i - 1, n)), Load<1>(src + L * i),
                    Load<1>(ClampedPosition(src, i + 1, n)),
                    Load<1>(ClampedPosition(src, i + 2, n)), u);
}

TRELVANE_SSE2 void UpsampleChroma2xQuad(int16_t* dst, const int16_t* src, int n) {
    if (n <= 0) return;
    const UpsamplePatterns u{PairPattern(kUpsampleOuterInner), _mm_set1_epi32(kUpsampleRound)};
    // Position 0 and the last three need clamped neighbours; the rest are
    // taken two at a time with every neighbour inside the line.
    UpsampleClamped(dst, src, 0, n, u);
    int i = 1;
    for (; i + 3 <= n - 1; i += 2) {
        const int16_t* s = src + L * i;
        UpsampleStep<2>(dst + 2 * L * i, Load<2>(s - L), Load<2>(s), Load<2>(s + L),
                        Load<2>(s + 2 * L), u);
    }
    for (; i < n; ++i) UpsampleClamped(dst, src, i, n, u);
}

constexpr PackedKernelTable kSse2Table = {
    PackedForm::kSse2, GatherChromaQuad,     ScatterChromaQuad,    LowPass640Quad,
    LowPass720Quad,    WideLowPassQuad,      RotateToIQQuad,       RotateFromIQQuad,
    BlendDetailQuad,   BlendDetailCoredQuad, UpsampleChroma2xQuad,
};

}  // namespace
}  // namespace sse2_form

const PackedKernelTable* Sse2PackedKernels() { return &sse2_form::kSse2Table; }

}  // namespace trelvane

#else  // not x86: the portable form is the only one.

namespace trelvane {

const PackedKernelTable* Sse2PackedKernels() { return nullptr; }

}  // namespace trelvane

#endif
