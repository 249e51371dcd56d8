// Chroma of 8-bit limited-range planes to YC48 and back, many samples at a
// time, with the host's own integer conversions (ChromaToYc48 and
// ChromaFromYc48 of that scale, clamped codes included): the common case of
// the planar path, which the lookup tables serve one sample at a time.
//
// Each function converts the leading samples it can take in whole blocks of
// eight and returns how many that was; the caller converts the rest with the
// tables. There is an SSE2 form wherever the tool is built for SSE2 (all of
// x86-64) and an AVX2 form, twice as wide, chosen at run time where the
// processor has it; elsewhere every function returns 0.
#pragma once

#include <cstdint>

namespace trelvane::cli {

// dst[i] = YC48 of code src[i].
int Chroma8ToYc48(int16_t* dst, const uint8_t* src, int count);
// dst[i] = code of YC48 value src[i].
int Chroma8FromYc48(uint8_t* dst, const int16_t* src, int count);

// Four plane rows into four-row positions: lane k of position i (4i + k of
// dst) = YC48 of rows[k][i].
int Chroma8ToYc48Quad(int16_t* dst, const uint8_t* const (&rows)[4], int count);
// And back: rows[k][i] = code of lane k of position i of src.
int Chroma8FromYc48Quad(uint8_t* const (&rows)[4], const int16_t* src, int count);

// One form of the four conversions, for tests and benchmarks.
struct Chroma8Form {
    const char* name;
    decltype(&Chroma8ToYc48) toYc48;
    decltype(&Chroma8FromYc48) fromYc48;
    decltype(&Chroma8ToYc48Quad) toYc48Quad;
    decltype(&Chroma8FromYc48Quad) fromYc48Quad;
};

// The forms this build and processor can run, narrowest first; the
// functions above run the last. Empty where there is none.
int Chroma8FormCount();
const Chroma8Form& Chroma8FormAt(int index);

}  // namespace trelvane::cli
