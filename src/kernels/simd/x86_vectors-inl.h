// Thin x86 vectors of signed 16-bit lanes, the few operations the packed
// kernels and the 8-bit conversions use, for a 128-bit type (SSE2) and a
// 256-bit one (AVX2). Kernels are written once over these and compiled once
// per level.
//
// Included only inside the region of simd_target_begin.h, within
// TRELVANE_SIMD_NS and an unnamed namespace. Every 256-bit operation works
// within each 128-bit half, as the 128-bit one does on its whole, unless its
// comment says otherwise.
//
// Memory holds positions of four 16-bit lanes (8 bytes): a V128 carries one
// or two, a V256 four. All loads and stores are unaligned.

struct V128 {
    __m128i raw;
};

// Positions per step of the widest vector of this level.
#if defined(TRELVANE_SIMD_AVX2)
struct V256 {
    __m256i raw;
};
constexpr int kWidestPositions = 4;
#else
constexpr int kWidestPositions = 2;
#endif

// The vector that carries P positions.
template <int P>
struct VecForPositions {
    using type = V128;
};
#if defined(TRELVANE_SIMD_AVX2)
template <>
struct VecForPositions<4> {
    using type = V256;
};
#endif
template <int P>
using Vec = typename VecForPositions<P>::type;

// ---- Memory: P = 1 uses the low 64 bits (the rest zero on load).

template <int P>
inline Vec<P> Load(const int16_t* p) {
    const void* raw = p;
    if constexpr (P == 1) {
        return {_mm_loadl_epi64(static_cast<const __m128i*>(raw))};
    } else if constexpr (P == 2) {
        return {_mm_loadu_si128(static_cast<const __m128i*>(raw))};
    } else {
        return {_mm256_loadu_si256(static_cast<const __m256i*>(raw))};
    }
}

template <int P>
inline void Store(int16_t* p, Vec<P> v) {
    void* raw = p;
    if constexpr (P == 1) {
        _mm_storel_epi64(static_cast<__m128i*>(raw), v.raw);
    } else if constexpr (P == 2) {
        _mm_storeu_si128(static_cast<__m128i*>(raw), v.raw);
    } else {
        _mm256_storeu_si256(static_cast<__m256i*>(raw), v.raw);
    }
}

// ---- Constants.

// Every 32-bit lane set to v.
template <class V>
inline V Splat32(int32_t v) {
    if constexpr (sizeof(V) == sizeof(__m128i)) {
        return {_mm_set1_epi32(v)};
    } else {
        return {_mm256_set1_epi32(v)};
    }
}

template <class V>
inline V Zero() {
    return Splat32<V>(0);
}

// (first, second) in every pair of 16-bit lanes, for MulAdd.
template <class V>
inline V PairPattern(int16_t first, int16_t second) {
    const uint32_t pair =
        static_cast<uint16_t>(first) | (static_cast<uint32_t>(static_cast<uint16_t>(second)) << 16);
    return Splat32<V>(static_cast<int32_t>(pair));
}

// Every 16-bit lane set to v.
template <class V>
inline V Splat16(int16_t v) {
    return PairPattern<V>(v, v);
}

// ---- Lane-wise operations, one definition per width.

#define TRELVANE_BINARY_OP(Name, sse2Op, avx2Op)                                   \
    inline V128 Name(V128 a, V128 b) { return {sse2Op(a.raw, b.raw)}; }            \
    TRELVANE_AVX2_ONLY(inline V256 Name(V256 a, V256 b) { return {avx2Op(a.raw, b.raw)}; })

#define TRELVANE_SHIFT_OP(Name, sse2Op, avx2Op)                                    \
    template <int K>                                                               \
    inline V128 Name(V128 a) {                                                     \
        return {sse2Op(a.raw, K)};                                                 \
    }                                                                              \
    TRELVANE_AVX2_ONLY(template <int K> inline V256 Name(V256 a) { return {avx2Op(a.raw, K)}; })

#if defined(TRELVANE_SIMD_AVX2)
#define TRELVANE_AVX2_ONLY(...) __VA_ARGS__
inline __m256i Avx2Less16(__m256i a, __m256i b) { return _mm256_cmpgt_epi16(b, a); }
#else
#define TRELVANE_AVX2_ONLY(...)
#endif

// 16-bit lanes: saturating and wrapping add and subtract, min, max, the low
// and high halves of the 32-bit product.
TRELVANE_BINARY_OP(AddSat, _mm_adds_epi16, _mm256_adds_epi16)
TRELVANE_BINARY_OP(SubSat, _mm_subs_epi16, _mm256_subs_epi16)
TRELVANE_BINARY_OP(Add16, _mm_add_epi16, _mm256_add_epi16)
TRELVANE_BINARY_OP(Sub16, _mm_sub_epi16, _mm256_sub_epi16)
TRELVANE_BINARY_OP(Min16, _mm_min_epi16, _mm256_min_epi16)
TRELVANE_BINARY_OP(Max16, _mm_max_epi16, _mm256_max_epi16)
TRELVANE_BINARY_OP(MulLo16, _mm_mullo_epi16, _mm256_mullo_epi16)
TRELVANE_BINARY_OP(MulHi16, _mm_mulhi_epi16, _mm256_mulhi_epi16)
// All ones where a < b, per 16-bit lane.
TRELVANE_BINARY_OP(Less16, _mm_cmplt_epi16, Avx2Less16)
// Pairs of 16-bit lanes multiplied and summed exactly into 32 bits.
TRELVANE_BINARY_OP(MulAdd, _mm_madd_epi16, _mm256_madd_epi16)
TRELVANE_BINARY_OP(Add32, _mm_add_epi32, _mm256_add_epi32)
// Two sets of 32-bit lanes to 16 bits with signed saturation (a's first).
TRELVANE_BINARY_OP(PackSat32, _mm_packs_epi32, _mm256_packs_epi32)
// Interleaves of the low or high halves, in units of 16, 32 or 64 bits.
TRELVANE_BINARY_OP(ZipLo16, _mm_unpacklo_epi16, _mm256_unpacklo_epi16)
TRELVANE_BINARY_OP(ZipHi16, _mm_unpackhi_epi16, _mm256_unpackhi_epi16)
TRELVANE_BINARY_OP(ZipLo32, _mm_unpacklo_epi32, _mm256_unpacklo_epi32)
TRELVANE_BINARY_OP(ZipHi32, _mm_unpackhi_epi32, _mm256_unpackhi_epi32)
TRELVANE_BINARY_OP(ZipLo64, _mm_unpacklo_epi64, _mm256_unpacklo_epi64)
TRELVANE_BINARY_OP(ZipHi64, _mm_unpackhi_epi64, _mm256_unpackhi_epi64)
TRELVANE_BINARY_OP(And, _mm_and_si128, _mm256_and_si256)
TRELVANE_BINARY_OP(Or, _mm_or_si128, _mm256_or_si256)
TRELVANE_BINARY_OP(Xor, _mm_xor_si128, _mm256_xor_si256)
// ~a & b.
TRELVANE_BINARY_OP(AndNot, _mm_andnot_si128, _mm256_andnot_si256)

// Arithmetic right shifts of 32- and 16-bit lanes, left shift of 16-bit lanes.
TRELVANE_SHIFT_OP(ShiftRight32, _mm_srai_epi32, _mm256_srai_epi32)
TRELVANE_SHIFT_OP(ShiftRight16, _mm_srai_epi16, _mm256_srai_epi16)
TRELVANE_SHIFT_OP(ShiftLeft16, _mm_slli_epi16, _mm256_slli_epi16)

#undef TRELVANE_BINARY_OP
#undef TRELVANE_SHIFT_OP
#undef TRELVANE_AVX2_ONLY

// yes where mask is all ones, no where it is zero (masks from compares).
inline V128 IfThenElse(V128 mask, V128 yes, V128 no) {
    return Or(And(mask, yes), AndNot(mask, no));
}
#if defined(TRELVANE_SIMD_AVX2)
inline V256 IfThenElse(V256 mask, V256 yes, V256 no) {
    return {_mm256_blendv_epi8(no.raw, yes.raw, mask.raw)};
}
#endif

// ---- 8-bit samples: Samples<V> codes widened to 16-bit lanes, and 16-bit
// lanes stored as codes with unsigned saturation.

template <class V>
constexpr int kSamples = static_cast<int>(sizeof(V) / sizeof(int16_t));

template <class V>
inline V LoadWidenU8(const uint8_t* p);

template <>
inline V128 LoadWidenU8<V128>(const uint8_t* p) {
    const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return {_mm_unpacklo_epi8(bytes, _mm_setzero_si128())};
}

inline void StoreNarrowU8(uint8_t* p, V128 v) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packus_epi16(v.raw, v.raw));
}

// Whole 16-bit vectors.
inline V128 LoadWhole(const int16_t* p, V128) { return Load<2>(p); }
inline void StoreWhole(int16_t* p, V128 v) { Store<2>(p, v); }

// The 256-bit interleaves work within halves, so a 256-bit transpose of four
// rows needs its halves moved: these three do that, and nothing for the
// 128-bit vectors, which are in order already.
inline void HalvesInOrder(V128 (&)[4]) {}
inline void HalvesInterleaved(V128 (&)[4]) {}
inline V128 QuartersInOrder(V128 v) { return v; }

#if defined(TRELVANE_SIMD_AVX2)
template <>
inline V256 LoadWidenU8<V256>(const uint8_t* p) {
    return {_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)))};
}

inline void StoreNarrowU8(uint8_t* p, V256 v) {
    // Each half's codes sit in that half's low 8 bytes.
    const __m256i packed = _mm256_packus_epi16(v.raw, v.raw);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p),
                     _mm256_castsi256_si128(_mm256_permute4x64_epi64(packed, 0x08)));
}

inline V256 LoadWhole(const int16_t* p, V256) { return Load<4>(p); }
inline void StoreWhole(int16_t* p, V256 v) { Store<4>(p, v); }

// out = the low halves of a and b, their high halves, and the same of c, d.
inline void PairHalves(V256 a, V256 b, V256 c, V256 d, V256 (&out)[4]) {
    out[0] = {_mm256_permute2x128_si256(a.raw, b.raw, 0x20)};
    out[1] = {_mm256_permute2x128_si256(a.raw, b.raw, 0x31)};
    out[2] = {_mm256_permute2x128_si256(c.raw, d.raw, 0x20)};
    out[3] = {_mm256_permute2x128_si256(c.raw, d.raw, 0x31)};
}

// From v[k] = positions (2k, 2k+1 | 2k+8, 2k+9) of a run of 16, as the
// in-half interleave leaves them, to v[k] = positions 4k .. 4k+3.
inline void HalvesInOrder(V256 (&v)[4]) {
    V256 paired[4];
    PairHalves(v[0], v[1], v[2], v[3], paired);
    v[0] = paired[0];
    v[1] = paired[2];
    v[2] = paired[1];
    v[3] = paired[3];
}

// From v[k] = positions 4k .. 4k+3 to (0 1 | 4 5), (2 3 | 6 7), (8 9 | 12 13),
// (10 11 | 14 15), so that the in-half de-interleave takes them apart.
inline void HalvesInterleaved(V256 (&v)[4]) { PairHalves(v[0], v[1], v[2], v[3], v); }

// 64-bit quarters (0, 2 | 1, 3) to (0, 1 | 2, 3).
inline V256 QuartersInOrder(V256 v) { return {_mm256_permute4x64_epi64(v.raw, 0xD8)}; }
#endif
