// The AVX2 form of the four-row packed kernels that carry the arithmetic:
// the filters, rotations and blends take four positions (sixteen rows'
// samples) per 256-bit register, with the same per-lane results as the
// portable form. Every 256-bit operation used here works within each 128-bit
// half, and a register's halves hold positions (0, 1) and (2, 3), so the
// SSE2 form's lane order carries over unchanged. The positions left over
// after whole groups of four, and the kernels that only move data (gather,
// scatter, interpolation), run the SSE2 form, which every AVX2 processor has.
//
// Only the functions marked TRELVANE_AVX2 are compiled for AVX2; they have
// internal linkage and run only after the processor (and the operating
// system, which must save the 256-bit registers) has been found to support
// AVX2 (packed_dispatch.cpp). Windows builds have no AVX2 form: GCC there
// cannot be relied on to align the stack for spilled 256-bit registers.
#include "kernels/packed/packed_kernels.h"

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__)) && \
    !defined(_WIN32)

#include <immintrin.h>

#include "kernels/packed/packed_constants.h"
#include "kernels/scalar/fixed_point.h"

#define TRELVANE_AVX2 __attribute__((target("avx2")))

namespace trelvane {

// Kept apart from the public entry points of the same names.
namespace avx2_form {
namespace {

constexpr int L = kQuadLanes;
constexpr int kStep = 4;  // positions per 256-bit register

TRELVANE_AVX2 inline __m256i Load(const int16_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

TRELVANE_AVX2 inline void Store(int16_t* p, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

TRELVANE_AVX2 inline __m256i PairPattern(QuadTapPair c) {
    return _mm256_set1_epi32(
        static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(c.first)) |
                             (static_cast<uint32_t>(static_cast<uint16_t>(c.second)) << 16)));
}

// first * a + second * b per lane, exactly in 32 bits: positions 0 and 2 ...
TRELVANE_AVX2 inline __m256i MultiplyAddLow(__m256i a, __m256i b, __m256i pattern) {
    return _mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), pattern);
}

// ... and positions 1 and 3.
TRELVANE_AVX2 inline __m256i MultiplyAddHigh(__m256i a, __m256i b, __m256i pattern) {
    return _mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), pattern);
}

// Floor-shifts the sums of positions (0, 2) and (1, 3) and packs them,
// saturated, back into positions 0 to 3.
template <int Shift>
TRELVANE_AVX2 inline __m256i ShiftPack(__m256i low, __m256i high) {
    return _mm256_packs_epi32(_mm256_srai_epi32(low, Shift), _mm256_srai_epi32(high, Shift));
}

// The positions from `done` on, by the SSE2 form.
const PackedKernelTable& Rest() { return *Sse2PackedKernels(); }

// ---- Filters.

template <int Pairs>
struct FilterPatterns {
    __m256i pairs[Pairs];
    __m256i round;
};

template <int Pairs>
TRELVANE_AVX2 inline void LowPassStep(int16_t* dst, const int16_t* centre,
                                      const FilterPatterns<Pairs>& f, bool doubledCentre) {
    __m256i low = f.round;
    __m256i high = f.round;
    for (int i = 0; i < Pairs; ++i) {
        const int d = 2 * (Pairs - 1 - i);
        __m256i inner;
        if (d > 0) {
            inner = _mm256_adds_epi16(Load(centre + L * d), Load(centre - L * d));
        } else {
            inner = Load(centre);
            if (doubledCentre) inner = _mm256_adds_epi16(inner, inner);
        }
        const __m256i outer =
            _mm256_adds_epi16(Load(centre + L * (d + 1)), Load(centre - L * (d + 1)));
        low = _mm256_add_epi32(low, MultiplyAddLow(inner, outer, f.pairs[i]));
        high = _mm256_add_epi32(high, MultiplyAddHigh(inner, outer, f.pairs[i]));
    }
    Store(dst, ShiftPack<kQuadFilterShift>(low, high));
}

// Whole groups of four positions; returns how many positions were done.
template <int Pairs>
TRELVANE_AVX2 inline int QuadLowPass(int16_t* dst, const int16_t* src, int count,
                                     const QuadFilterTaps<Pairs>& taps) {
    FilterPatterns<Pairs> f;
    for (int i = 0; i < Pairs; ++i) f.pairs[i] = PairPattern(taps.pairs[i]);
    f.round = _mm256_set1_epi32(kQuadFilterRound);
    int p = 0;
    for (; p + kStep <= count; p += kStep)
        LowPassStep(dst + L * p, src + L * p, f, taps.doubledCentre);
    return p;
}

TRELVANE_AVX2 void LowPass640Quad(int16_t* dst, const int16_t* src, int count) {
    const int done = QuadLowPass(dst, src, count, kLowPass640QuadTaps);
    Rest().lowPass640Quad(dst + L * done, src + L * done, count - done);
}

TRELVANE_AVX2 void LowPass720Quad(int16_t* dst, const int16_t* src, int count) {
    const int done = QuadLowPass(dst, src, count, kLowPass720QuadTaps);
    Rest().lowPass720Quad(dst + L * done, src + L * done, count - done);
}

TRELVANE_AVX2 void WideLowPassQuad(int16_t* dst, const int16_t* src, int count) {
    const int done = QuadLowPass(dst, src, count, kWideLowPassQuadTaps);
    Rest().wideLowPassQuad(dst + L * done, src + L * done, count - done);
}

// ---- Rotations and blends: element-wise over 16 values at a time; the
// rest (whole positions and the count mod 4 values) by the SSE2 form.

constexpr int kValuesPerStep = L * kStep;

TRELVANE_AVX2 inline int RotateSteps(int16_t* a, int16_t* b, int count, QuadTapPair toA,
                                     QuadTapPair toB) {
    const __m256i patternA = PairPattern(toA);
    const __m256i patternB = PairPattern(toB);
    const __m256i round = _mm256_set1_epi32(kRotationRound);
    int j = 0;
    for (; j + kValuesPerStep <= count; j += kValuesPerStep) {
        const __m256i first = Load(a + j);
        const __m256i second = Load(b + j);
        Store(a + j, ShiftPack<kRotationShift>(
                         _mm256_add_epi32(MultiplyAddLow(second, first, patternA), round),
                         _mm256_add_epi32(MultiplyAddHigh(second, first, patternA), round)));
        Store(b + j, ShiftPack<kRotationShift>(
                         _mm256_add_epi32(MultiplyAddLow(second, first, patternB), round),
                         _mm256_add_epi32(MultiplyAddHigh(second, first, patternB), round)));
    }
    return j;
}

TRELVANE_AVX2 void RotateToIQQuad(int16_t* crLine, int16_t* cbLine, int count) {
    const int done = RotateSteps(crLine, cbLine, count, kIFromCbCr, kQFromCbCr);
    Rest().rotateToIQQuad(crLine + done, cbLine + done, count - done);
}

TRELVANE_AVX2 void RotateFromIQQuad(int16_t* iLine, int16_t* qLine, int count) {
    const int done = RotateSteps(iLine, qLine, count, kCrFromQI, kCbFromQI);
    Rest().rotateFromIQQuad(iLine + done, qLine + done, count - done);
}

// (factor * d) >> 6 per lane, saturated, from the exact 32-bit product.
TRELVANE_AVX2 inline __m256i ScaledDifference(__m256i d, __m256i factor) {
    const __m256i low = _mm256_mullo_epi16(d, factor);
    const __m256i high = _mm256_mulhi_epi16(d, factor);
    return ShiftPack<kBlendShift>(_mm256_unpacklo_epi16(low, high),
                                  _mm256_unpackhi_epi16(low, high));
}

// The 16-bit coring, branch-free, as in the other forms.
TRELVANE_AVX2 inline __m256i CoredDifference(__m256i d, __m256i threshold) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i sign = _mm256_srai_epi16(d, 15);
    const __m256i magnitude = _mm256_sub_epi16(_mm256_xor_si256(d, sign), sign);
    const __m256i below = _mm256_sub_epi16(magnitude, threshold);
    const __m256i ramp =
        _mm256_max_epi16(_mm256_add_epi16(magnitude, _mm256_slli_epi16(below, 2)), zero);
    const __m256i k = _mm256_blendv_epi8(magnitude, ramp, _mm256_cmpgt_epi16(zero, below));
    return _mm256_sub_epi16(_mm256_xor_si256(k, sign), sign);
}

template <bool Cored>
TRELVANE_AVX2 inline int BlendSteps(int16_t* f, const int16_t* x, int count, int strength,
                                    int noise) {
    const __m256i factor = _mm256_set1_epi16(Low16(WrapMul(2, strength)));
    const __m256i threshold = _mm256_set1_epi16(Low16(noise));
    int j = 0;
    for (; j + kValuesPerStep <= count; j += kValuesPerStep) {
        const __m256i target = Load(f + j);
        __m256i d = _mm256_subs_epi16(Load(x + j), target);
        if constexpr (Cored) d = CoredDifference(d, threshold);
        Store(f + j, _mm256_adds_epi16(target, ScaledDifference(d, factor)));
    }
    return j;
}

TRELVANE_AVX2 void BlendDetailQuad(int16_t* f, const int16_t* x, int count, int strength) {
    const int done = BlendSteps<false>(f, x, count, strength, 0);
    Rest().blendDetailQuad(f + done, x + done, count - done, strength);
}

TRELVANE_AVX2 void BlendDetailCoredQuad(int16_t* f, const int16_t* x, int count, int strength,
                                        int noise) {
    const int done = BlendSteps<true>(f, x, count, strength, noise);
    Rest().blendDetailCoredQuad(f + done, x + done, count - done, strength, noise);
}

}  // namespace
}  // namespace avx2_form

const PackedKernelTable* Avx2PackedKernels() {
    const PackedKernelTable* sse2 = Sse2PackedKernels();
    if (sse2 == nullptr) return nullptr;
    static const PackedKernelTable table = [sse2] {
        PackedKernelTable t = *sse2;
        t.form = PackedForm::kAvx2;
        t.lowPass640Quad = avx2_form::LowPass640Quad;
        t.lowPass720Quad = avx2_form::LowPass720Quad;
        t.wideLowPassQuad = avx2_form::WideLowPassQuad;
        t.rotateToIQQuad = avx2_form::RotateToIQQuad;
        t.rotateFromIQQuad = avx2_form::RotateFromIQQuad;
        t.blendDetailQuad = avx2_form::BlendDetailQuad;
        t.blendDetailCoredQuad = avx2_form::BlendDetailCoredQuad;
        return t;
    }();
    return &table;
}

}  // namespace trelvane

#else  // no AVX2 form in this build.

namespace trelvane {

const PackedKernelTable* Avx2PackedKernels() { return nullptr; }

}  // namespace trelvane

#endif
