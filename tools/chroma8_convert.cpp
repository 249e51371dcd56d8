#include "chroma8_convert.h"

#if defined(__SSE2__)

#include <immintrin.h>

// No AVX2 form for Windows, where GCC cannot be relied on to align the stack
// for spilled 256-bit registers.
#if (defined(__GNUC__) || defined(__clang__)) && !defined(_WIN32)
#define TRELVANE_CHROMA8_AVX2 1
#define TRELVANE_AVX2 __attribute__((target("avx2")))
#endif

namespace trelvane::cli {

namespace {

// ---- SSE2, eight samples a block (the tool is built for SSE2 here).

// ((c - 128) * 4681 + 164) >> 8 for eight codes (the low eight bytes of
// bytes): each code, less 128, is paired with a 1 and multiply-added with
// (4681, 164) into one exact 32-bit sum.
inline __m128i ToYc48(__m128i bytes) {
    const __m128i codes =
        _mm_sub_epi16(_mm_unpacklo_epi8(bytes, _mm_setzero_si128()), _mm_set1_epi16(128));
    const __m128i ones = _mm_set1_epi16(1);
    const __m128i factors = _mm_set1_epi32((164 << 16) | 4681);
    const __m128i low = _mm_madd_epi16(_mm_unpacklo_epi16(codes, ones), factors);
    const __m128i high = _mm_madd_epi16(_mm_unpackhi_epi16(codes, ones), factors);
    return _mm_packs_epi32(_mm_srai_epi32(low, 8), _mm_srai_epi32(high, 8));
}

// clamp((((v + 2048) * 7 + 66) >> 7) + 16, 0, 255) for eight values, as
// 16-bit codes. Values beyond +-2400 give 0 or 255 whatever their size, so
// they are clamped to that first; inside it every step fits 16 bits.
inline __m128i FromYc48Codes(__m128i v) {
    const __m128i bounded =
        _mm_min_epi16(_mm_max_epi16(v, _mm_set1_epi16(-2400)), _mm_set1_epi16(2400));
    const __m128i scaled =
        _mm_mullo_epi16(_mm_add_epi16(bounded, _mm_set1_epi16(2048)), _mm_set1_epi16(7));
    return _mm_add_epi16(_mm_srai_epi16(_mm_add_epi16(scaled, _mm_set1_epi16(66)), 7),
                         _mm_set1_epi16(16));
}

// The same, packed into the low eight bytes.
inline __m128i FromYc48(__m128i v) {
    const __m128i code = FromYc48Codes(v);
    return _mm_packus_epi16(code, code);
}

inline __m128i Load8(const uint8_t* p) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}
inline void Store8(uint8_t* p, __m128i v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v); }
inline __m128i Load16(const int16_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void Store16(int16_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

constexpr int kBlock = 8;

int ToYc48Sse2(int16_t* dst, const uint8_t* src, int count) {
    int i = 0;
    for (; i + kBlock <= count; i += kBlock) Store16(dst + i, ToYc48(Load8(src + i)));
    return i;
}

int FromYc48Sse2(uint8_t* dst, const int16_t* src, int count) {
    int i = 0;
    for (; i + kBlock <= count; i += kBlock) Store8(dst + i, FromYc48(Load16(src + i)));
    return i;
}

// Positions i .. i+7 of the four rows.
inline void ToYc48QuadBlock(int16_t* dst, const uint8_t* const (&rows)[4], int i) {
    const __m128i r0 = ToYc48(Load8(rows[0] + i));
    const __m128i r1 = ToYc48(Load8(rows[1] + i));
    const __m128i r2 = ToYc48(Load8(rows[2] + i));
    const __m128i r3 = ToYc48(Load8(rows[3] + i));
    // Rows 0/1 and 2/3 side by side, then whole positions of all four.
    const __m128i low01 = _mm_unpacklo_epi16(r0, r1);
    const __m128i low23 = _mm_unpacklo_epi16(r2, r3);
    const __m128i high01 = _mm_unpackhi_epi16(r0, r1);
    const __m128i high23 = _mm_unpackhi_epi16(r2, r3);
    int16_t* out = dst + 4 * i;
    Store16(out, _mm_unpacklo_epi32(low01, low23));
    Store16(out + 8, _mm_unpackhi_epi32(low01, low23));
    Store16(out + 16, _mm_unpacklo_epi32(high01, high23));
    Store16(out + 24, _mm_unpackhi_epi32(high01, high23));
}

int ToYc48QuadSse2(int16_t* dst, const uint8_t* const (&rows)[4], int count) {
    int i = 0;
    for (; i + kBlock <= count; i += kBlock) ToYc48QuadBlock(dst, rows, i);
    return i;
}

// Positions 0..7, two to a vector (a, b, c, d in memory order), taken apart
// into the four lanes: rows[k] holds lane k of positions 0..7.
inline void Lanes(__m128i a, __m128i b, __m128i c, __m128i d, __m128i (&rows)[4]) {
    const __m128i ab0 = _mm_unpacklo_epi16(a, b);  // lanes of positions 0 and 2, alternating
    const __m128i ab1 = _mm_unpackhi_epi16(a, b);  // lanes of positions 1 and 3
    const __m128i cd0 = _mm_unpacklo_epi16(c, d);
    const __m128i cd1 = _mm_unpackhi_epi16(c, d);
    const __m128i lanes01ab = _mm_unpacklo_epi16(ab0, ab1);  // lane 0 of 0..3, lane 1 of 0..3
    const __m128i lanes23ab = _mm_unpackhi_epi16(ab0, ab1);
    const __m128i lanes01cd = _mm_unpacklo_epi16(cd0, cd1);
    const __m128i lanes23cd = _mm_unpackhi_epi16(cd0, cd1);
    rows[0] = _mm_unpacklo_epi64(lanes01ab, lanes01cd);
    rows[1] = _mm_unpackhi_epi64(lanes01ab, lanes01cd);
    rows[2] = _mm_unpacklo_epi64(lanes23ab, lanes23cd);
    rows[3] = _mm_unpackhi_epi64(lanes23ab, lanes23cd);
}

int FromYc48QuadSse2(uint8_t* const (&rows)[4], const int16_t* src, int count) {
    int i = 0;
    for (; i + kBlock <= count; i += kBlock) {
        const int16_t* in = src + 4 * i;
        __m128i lanes[4];
        Lanes(Load16(in), Load16(in + 8), Load16(in + 16), Load16(in + 24), lanes);
        for (int k = 0; k < 4; ++k) Store8(rows[k] + i, FromYc48(lanes[k]));
    }
    return i;
}

constexpr Chroma8Form kSse2Form{"sse2", ToYc48Sse2, FromYc48Sse2, ToYc48QuadSse2, FromYc48QuadSse2};

#if defined(TRELVANE_CHROMA8_AVX2)

// ---- AVX2, sixteen samples a block; a last block of eight by SSE2. Every
// 256-bit unpack and pack works within each 128-bit half, so the halves are
// put in order with cross-half permutes where the interleave needs it.

TRELVANE_AVX2 inline __m256i ToYc48x16(__m128i bytes) {
    const __m256i codes = _mm256_sub_epi16(_mm256_cvtepu8_epi16(bytes), _mm256_set1_epi16(128));
    const __m256i ones = _mm256_set1_epi16(1);
    const __m256i factors = _mm256_set1_epi32((164 << 16) | 4681);
    const __m256i low = _mm256_madd_epi16(_mm256_unpacklo_epi16(codes, ones), factors);
    const __m256i high = _mm256_madd_epi16(_mm256_unpackhi_epi16(codes, ones), factors);
    return _mm256_packs_epi32(_mm256_srai_epi32(low, 8), _mm256_srai_epi32(high, 8));
}

TRELVANE_AVX2 inline __m128i FromYc48x16(__m256i v) {
    const __m256i bounded =
        _mm256_min_epi16(_mm256_max_epi16(v, _mm256_set1_epi16(-2400)), _mm256_set1_epi16(2400));
    const __m256i scaled = _mm256_mullo_epi16(_mm256_add_epi16(bounded, _mm256_set1_epi16(2048)),
                                              _mm256_set1_epi16(7));
    const __m256i code =
        _mm256_add_epi16(_mm256_srai_epi16(_mm256_add_epi16(scaled, _mm256_set1_epi16(66)), 7),
                         _mm256_set1_epi16(16));
    // The codes of each half sit in that half's low 8 bytes.
    const __m256i packed = _mm256_packus_epi16(code, code);
    return _mm256_castsi256_si128(_mm256_permute4x64_epi64(packed, 0x08));
}

TRELVANE_AVX2 inline __m128i Load16Bytes(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
TRELVANE_AVX2 inline void Store16Bytes(uint8_t* p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}
TRELVANE_AVX2 inline __m256i Load32(const int16_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
TRELVANE_AVX2 inline void Store32(int16_t* p, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

constexpr int kWideBlock = 16;

TRELVANE_AVX2 int ToYc48Avx2(int16_t* dst, const uint8_t* src, int count) {
    int i = 0;
    for (; i + kWideBlock <= count; i += kWideBlock)
        Store32(dst + i, ToYc48x16(Load16Bytes(src + i)));
    return i + ToYc48Sse2(dst + i, src + i, count - i);
}

TRELVANE_AVX2 int FromYc48Avx2(uint8_t* dst, const int16_t* src, int count) {
    int i = 0;
    for (; i + kWideBlock <= count; i += kWideBlock) {
        Store16Bytes(dst + i, FromYc48x16(Load32(src + i)));
    }
    return i + FromYc48Sse2(dst + i, src + i, count - i);
}

TRELVANE_AVX2 int ToYc48QuadAvx2(int16_t* dst, const uint8_t* const (&rows)[4], int count) {
    int i = 0;
    for (; i + kWideBlock <= count; i += kWideBlock) {
        const __m256i r0 = ToYc48x16(Load16Bytes(rows[0] + i));
        const __m256i r1 = ToYc48x16(Load16Bytes(rows[1] + i));
        const __m256i r2 = ToYc48x16(Load16Bytes(rows[2] + i));
        const __m256i r3 = ToYc48x16(Load16Bytes(rows[3] + i));
        const __m256i low01 = _mm256_unpacklo_epi16(r0, r1);
        const __m256i low23 = _mm256_unpacklo_epi16(r2, r3);
        const __m256i high01 = _mm256_unpackhi_epi16(r0, r1);
        const __m256i high23 = _mm256_unpackhi_epi16(r2, r3);
        const __m256i p0189 = _mm256_unpacklo_epi32(low01, low23);  // positions 0 1 | 8 9
        const __m256i p23 = _mm256_unpackhi_epi32(low01, low23);    // 2 3 | 10 11
        const __m256i p45 = _mm256_unpacklo_epi32(high01, high23);  // 4 5 | 12 13
        const __m256i p67 = _mm256_unpackhi_epi32(high01, high23);  // 6 7 | 14 15
        int16_t* out = dst + 4 * i;
        Store32(out, _mm256_permute2x128_si256(p0189, p23, 0x20));
        Store32(out + 16, _mm256_permute2x128_si256(p45, p67, 0x20));
        Store32(out + 32, _mm256_permute2x128_si256(p0189, p23, 0x31));
        Store32(out + 48, _mm256_permute2x128_si256(p45, p67, 0x31));
    }
    if (i + kBlock <= count) {
        ToYc48QuadBlock(dst, rows, i);
        i += kBlock;
    }
    return i;
}

TRELVANE_AVX2 int FromYc48QuadAvx2(uint8_t* const (&rows)[4], const int16_t* src, int count) {
    int i = 0;
    for (; i + kWideBlock <= count; i += kWideBlock) {
        const int16_t* in = src + 4 * i;
        const __m256i v0 = Load32(in);       // positions 0 1 | 2 3
        const __m256i v1 = Load32(in + 16);  // 4 5 | 6 7
        const __m256i v2 = Load32(in + 32);  // 8 9 | 10 11
        const __m256i v3 = Load32(in + 48);  // 12 13 | 14 15
        // Halves holding (0 1, 4 5), (2 3, 6 7), (8 9, 12 13), (10 11, 14 15):
        // each half then takes apart positions 0-3 and 8-11, or 4-7 and 12-15.
        const __m256i a = _mm256_permute2x128_si256(v0, v1, 0x20);
        const __m256i b = _mm256_permute2x128_si256(v0, v1, 0x31);
        const __m256i c = _mm256_permute2x128_si256(v2, v3, 0x20);
        const __m256i d = _mm256_permute2x128_si256(v2, v3, 0x31);
        const __m256i ab0 = _mm256_unpacklo_epi16(a, b);
        const __m256i ab1 = _mm256_unpackhi_epi16(a, b);
        const __m256i cd0 = _mm256_unpacklo_epi16(c, d);
        const __m256i cd1 = _mm256_unpackhi_epi16(c, d);
        const __m256i lanes01ab = _mm256_unpacklo_epi16(ab0, ab1);
        const __m256i lanes23ab = _mm256_unpackhi_epi16(ab0, ab1);
        const __m256i lanes01cd = _mm256_unpacklo_epi16(cd0, cd1);
        const __m256i lanes23cd = _mm256_unpackhi_epi16(cd0, cd1);
        // Each row as positions 0-3 8-11 | 4-7 12-15, then in order.
        const __m256i lanes[4] = {_mm256_unpacklo_epi64(lanes01ab, lanes01cd),
                                  _mm256_unpackhi_epi64(lanes01ab, lanes01cd),
                                  _mm256_unpacklo_epi64(lanes23ab, lanes23cd),
                                  _mm256_unpackhi_epi64(lanes23ab, lanes23cd)};
        for (int k = 0; k < 4; ++k) {
            Store16Bytes(rows[k] + i, FromYc48x16(_mm256_permute4x64_epi64(lanes[k], 0xD8)));
        }
    }
    if (i + kBlock <= count) {
        uint8_t* const rest[4] = {rows[0] + i, rows[1] + i, rows[2] + i, rows[3] + i};
        i += FromYc48QuadSse2(rest, src + 4 * i, kBlock);
    }
    return i;
}

constexpr Chroma8Form kAvx2Form{"avx2", ToYc48Avx2, FromYc48Avx2, ToYc48QuadAvx2, FromYc48QuadAvx2};

bool ProcessorHasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}

#endif

// The forms, narrowest first; the processor's support is checked once.
struct Forms {
    const Chroma8Form* list[2] = {};
    int count = 0;
};

const Forms& SupportedForms() {
    static const Forms forms = [] {
        Forms f;
        f.list[f.count++] = &kSse2Form;
#if defined(TRELVANE_CHROMA8_AVX2)
        if (ProcessorHasAvx2()) f.list[f.count++] = &kAvx2Form;
#endif
        return f;
    }();
    return forms;
}

const Chroma8Form& Widest() {
    static const Chroma8Form& widest = *SupportedForms().list[SupportedForms().count - 1];
    return widest;
}

}  // namespace

int Chroma8ToYc48(int16_t* dst, const uint8_t* src, int count) {
    return Widest().toYc48(dst, src, count);
}

int Chroma8FromYc48(uint8_t* dst, const int16_t* src, int count) {
    return Widest().fromYc48(dst, src, count);
}

int Chroma8ToYc48Quad(int16_t* dst, const uint8_t* const (&rows)[4], int count) {
    return Widest().toYc48Quad(dst, rows, count);
}

int Chroma8FromYc48Quad(uint8_t* const (&rows)[4], const int16_t* src, int count) {
    return Widest().fromYc48Quad(rows, src, count);
}

int Chroma8FormCount() { return SupportedForms().count; }

const Chroma8Form& Chroma8FormAt(int index) { return *SupportedForms().list[index]; }

}  // namespace trelvane::cli

#else  // no vector form in this build: the tables convert every sample.

namespace trelvane::cli {

int Chroma8ToYc48(int16_t*, const uint8_t*, int) { return 0; }
int Chroma8FromYc48(uint8_t*, const int16_t*, int) { return 0; }
int Chroma8ToYc48Quad(int16_t*, const uint8_t* const (&)[4], int) { return 0; }
int Chroma8FromYc48Quad(uint8_t* const (&)[4], const int16_t*, int) { return 0; }
int Chroma8FormCount() { return 0; }
const Chroma8Form& Chroma8FormAt(int) {
    static const Chroma8Form none{"none", Chroma8ToYc48, Chroma8FromYc48, Chroma8ToYc48Quad,
                                  Chroma8FromYc48Quad};
    return none;
}

}  // namespace trelvane::cli

#endif
