// Conversions between y4m sample codes and the host's YC48 units.
//
// YC48 puts black at luma 0 and white at 4096, and chroma at -2048..2048 for
// the nominal range. Limited-range codes map 16..235 (luma) and 16..240
// (chroma) scaled by the depth onto that scale, full-range codes 0..2^d - 1.
// 8-bit limited range uses the host's own integer conversions; the other
// forms round to nearest on the same scale. Up to 12 bits every code comes
// back unchanged; deeper samples are finer than YC48 and lose precision.
#pragma once

#include <cstdint>
#include <vector>

namespace trelvane {

struct SampleScale {
    int depth = 8;  // 8..16
    bool fullRange = false;
};

int LumaToYc48(int code, SampleScale scale);
int ChromaToYc48(int code, SampleScale scale);
// Back to codes, clamped to 0 .. 2^depth - 1.
int LumaFromYc48(int y, SampleScale scale);
int ChromaFromYc48(int c, SampleScale scale);

// True when every code of the scale survives the trip to YC48 and back.
bool KeepsEveryCode(SampleScale scale);

// The conversions as lookup tables, built once per stream and shared by all
// workers. The input tables are indexed by any value the sample's container
// can hold (256 or 65536 entries; codes above 2^depth - 1 extend the same
// line and saturate to int16); the output tables by YC48 value + 32768.
struct ConversionTables {
    explicit ConversionTables(SampleScale scale);

    SampleScale scale;
    std::vector<int16_t> lumaIn;
    std::vector<int16_t> chromaIn;
    std::vector<uint16_t> lumaOut;
    std::vector<uint16_t> chromaOut;
};

}  // namespace trelvane
