// Conversions between y4m sample codes and YC48 units, and their tables.
#include "convert/sample_convert.h"

#include <algorithm>

#include "convert/chroma8_convert.h"

namespace trelvane {

namespace {

constexpr int64_t kYc48White = 4096;  // luma span, and chroma span -2048..2048

int64_t FloorDiv(int64_t num, int64_t den) {
    const int64_t q = num / den;
    return (num % den != 0 && (num < 0) != (den < 0)) ? q - 1 : q;
}

// round(num / den), halves up, den > 0.
int64_t RoundDiv(int64_t num, int64_t den) {
    return FloorDiv(2 * num + den, 2 * den);
}

// Code offset and span of luma or chroma for a scale.
struct Span {
    int64_t zero;   // code of YC48 0 (black, or neutral chroma)
    int64_t range;  // codes across the YC48 span of 4096
};

Span LumaSpan(SampleScale s) {
    if (s.fullRange) return {0, (int64_t{1} << s.depth) - 1};
    const int64_t k = int64_t{1} << (s.depth - 8);
    return {16 * k, 219 * k};
}

Span ChromaSpan(SampleScale s) {
    if (s.fullRange) return {int64_t{1} << (s.depth - 1), (int64_t{1} << s.depth) - 1};
    const int64_t k = int64_t{1} << (s.depth - 8);
    return {128 * k, 224 * k};
}

bool IsHost8Bit(SampleScale s) { return s.depth == 8 && !s.fullRange; }

int ToYc48(int code, Span span) {
    return static_cast<int>(RoundDiv((code - span.zero) * kYc48White, span.range));
}

int FromYc48(int v, Span span, SampleScale s) {
    const int64_t code = RoundDiv(int64_t{v} * span.range, kYc48White) + span.zero;
    return static_cast<int>(std::clamp<int64_t>(code, 0, (int64_t{1} << s.depth) - 1));
}

int16_t SaturateInt16(int v) {
    return static_cast<int16_t>(std::clamp(v, -32768, 32767));
}

}  // namespace

int LumaToYc48(int code, SampleScale scale) {
    if (IsHost8Bit(scale)) return ((code * 1197) >> 6) - 299;
    return ToYc48(code, LumaSpan(scale));
}

int ChromaToYc48(int code, SampleScale scale) {
    if (IsHost8Bit(scale)) return Chroma8ToYc48Sample(static_cast<unsigned>(code));
    return ToYc48(code, ChromaSpan(scale));
}

int LumaFromYc48(int y, SampleScale scale) {
    if (IsHost8Bit(scale)) return std::clamp(((y * 219 + 383) >> 12) + 16, 0, 255);
    return FromYc48(y, LumaSpan(scale), scale);
}

int ChromaFromYc48(int c, SampleScale scale) {
    if (IsHost8Bit(scale)) return Chroma8FromYc48Sample(c);
    return FromYc48(c, ChromaSpan(scale), scale);
}

bool KeepsEveryCode(SampleScale scale) {
    // Rounding to YC48 errs by at most half a YC48 step; that comes back as
    // less than half a code as long as a code is wider than a YC48 step.
    return LumaSpan(scale).range < kYc48White && ChromaSpan(scale).range < kYc48White;
}

ConversionTables::ConversionTables(SampleScale sampleScale) : scale(sampleScale) {
    const int codes = scale.depth > 8 ? 65536 : 256;
    lumaIn.resize(static_cast<size_t>(codes));
    chromaIn.resize(static_cast<size_t>(codes));
    for (int code = 0; code < codes; ++code) {
        lumaIn[static_cast<size_t>(code)] = SaturateInt16(LumaToYc48(code, scale));
        chromaIn[static_cast<size_t>(code)] = SaturateInt16(ChromaToYc48(code, scale));
    }
    lumaOut.resize(65536);
    chromaOut.resize(65536);
    for (int v = -32768; v <= 32767; ++v) {
        lumaOut[static_cast<size_t>(v + 32768)] = static_cast<uint16_t>(LumaFromYc48(v, scale));
        chromaOut[static_cast<size_t>(v + 32768)] = static_cast<uint16_t>(ChromaFromYc48(v, scale));
    }
}

}  // namespace trelvane
