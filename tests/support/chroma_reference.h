// What filtered chroma planes must come out as, worked out the long way: the
// samples placed in a YC frame as the host holds chroma, the frame through
// the driver, the samples read back. The tests of the chroma planes, of the
// tool's frame filter and the y4m fuzz target hold the fast way to it.
#pragma once

#include <cstdint>
#include <vector>

#include "convert/sample_convert.h"
#include "frame/frame_driver.h"

namespace trelvane::test {

// Cb and Cr planes (rows of ceil(width / pixelsPerSample) samples, one byte
// or two little-endian bytes each) filtered with the settings: each 4:4:4
// sample on its pixel, each 4:2:x sample on pixel 2k, or each row's 4:1:1
// samples in YC48 interpolated by UpsampleChroma2x onto the even pixels; the
// frame through ProcessFrameWith; every sample read back from the pixel it
// stands on (every pixel, 2k or 4k). A sample the filter does not write (an
// odd width's last pixel, the last pixel of a 4:1:1 row 4k + 1 pixels wide)
// only makes the trip to YC48 and back. Returns the Cb plane, then the Cr.
std::vector<uint8_t> ChromaThroughYcFrame(const std::vector<uint8_t>& cb, const std::vector<uint8_t>& cr,
                                          int pixelsPerSample, int width, int rows, int bytes,
                                          const ConversionTables& tables, const FilterSettings& settings);

}  // namespace trelvane::test
