#include "chroma8_convert.h"

#if defined(__SSE2__)

#include <emmintrin.h>

namespace trelvane::cli {

namespace {

// ((c - 128) * 4681 + 164) >> 8 for eight codes (the low eight bytes of
// bytes): each code, less 128, is paired with a 1 and multiply-added with
// (4681, 164) into one exact 32-bit sum.
inline __m128i ToYc48(__m128i bytes) {
    const __m128i codes =
        _mm_sub_epi16(_mm_unpacklo_epi8(bytes, _mm_setzero_si128()), _mm_set1_epi16(128));
    const __m128i ones = _mm_set1_epi16(1);
    const __m128i factors = _mm_set_epi16(164, 4681, 164, 4681, 164, 4681, 164, 4681);
    const __m128i low = _mm_madd_epi16(_mm_unpacklo_epi16(codes, ones), factors);
    const __m128i high = _mm_madd_epi16(_mm_unpackhi_epi16(codes, ones), factors);
    return _mm_packs_epi32(_mm_srai_epi32(low, 8), _mm_srai_epi32(high, 8));
}

// clamp((((v + 2048) * 7 + 66) >> 7) + 16, 0, 255) for eight values, in the
// low eight bytes. Values beyond +-2400 give 0 or 255 whatever their size, so
// they are clamped to that first; inside it every step fits 16 bits.
inline __m128i FromYc48(__m128i v) {
    const __m128i bounded =
        _mm_min_epi16(_mm_max_epi16(v, _mm_set1_epi16(-2400)), _mm_set1_epi16(2400));
    const __m128i scaled =
        _mm_mullo_epi16(_mm_add_epi16(bounded, _mm_set1_epi16(2048)), _mm_set1_epi16(7));
    const __m128i code = _mm_add_epi16(_mm_srai_epi16(_mm_add_epi16(scaled, _mm_set1_epi16(66)), 7),
                                       _mm_set1_epi16(16));
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

}  // namespace

int Chroma8ToYc48(int16_t* dst, const uint8_t* src, int count) {
    int i = 0;
    for (; i + kBlock <= count; i += kBlock) Store16(dst + i, ToYc48(Load8(src + i)));
    return i;
}

int Chroma8FromYc48(uint8_t* dst, const int16_t* src, int count) {
    int i = 0;
    for (; i + kBlock <= count; i += kBlock) Store8(dst + i, FromYc48(Load16(src + i)));
    return i;
}

int Chroma8ToYc48Quad(int16_t* dst, const uint8_t* const (&rows)[4], int count) {
    int i = 0;
    for (; i + kBlock <= count; i += kBlock) {
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
    return i;
}

int Chroma8FromYc48Quad(uint8_t* const (&rows)[4], const int16_t* src, int count) {
    int i = 0;
    for (; i + kBlock <= count; i += kBlock) {
        // Positions 0..7, two to a vector, taken apart into the four lanes.
        const int16_t* in = src + 4 * i;
        const __m128i p01 = Load16(in);
        const __m128i p23 = Load16(in + 8);
        const __m128i p45 = Load16(in + 16);
        const __m128i p67 = Load16(in + 24);
        const __m128i a = _mm_unpacklo_epi16(p01, p23);  // 0a 2a 0b 2b 0c 2c 0d 2d
        const __m128i b = _mm_unpackhi_epi16(p01, p23);  // 1a 3a 1b 3b ...
        const __m128i c = _mm_unpacklo_epi16(p45, p67);
        const __m128i d = _mm_unpackhi_epi16(p45, p67);
        const __m128i lanes01low = _mm_unpacklo_epi16(a, b);  // 0a..3a 0b..3b
        const __m128i lanes23low = _mm_unpackhi_epi16(a, b);  // 0c..3c 0d..3d
        const __m128i lanes01high = _mm_unpacklo_epi16(c, d);
        const __m128i lanes23high = _mm_unpackhi_epi16(c, d);
        Store8(rows[0] + i, FromYc48(_mm_unpacklo_epi64(lanes01low, lanes01high)));
        Store8(rows[1] + i, FromYc48(_mm_unpackhi_epi64(lanes01low, lanes01high)));
        Store8(rows[2] + i, FromYc48(_mm_unpacklo_epi64(lanes23low, lanes23high)));
        Store8(rows[3] + i, FromYc48(_mm_unpackhi_epi64(lanes23low, lanes23high)));
    }
    return i;
}

}  // namespace trelvane::cli

#else  // no vector form in this build: the tables convert every sample.

namespace trelvane::cli {

int Chroma8ToYc48(int16_t*, const uint8_t*, int) { return 0; }
int Chroma8FromYc48(uint8_t*, const int16_t*, int) { return 0; }
int Chroma8ToYc48Quad(int16_t*, const uint8_t* const (&)[4], int) { return 0; }
int Chroma8FromYc48Quad(uint8_t* const (&)[4], const int16_t*, int) { return 0; }

}  // namespace trelvane::cli

#endif
