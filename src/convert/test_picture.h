// The test pattern as the samples of a picture in a video format: what the
// tool writes for --test-pattern and what the GStreamer element writes with
// test-pattern on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "convert/chroma_planes.h"
#include "convert/sample_convert.h"
#include "frame/frame_driver.h"
#include "frame/work_buffers.h"

namespace trelvane {

// Every sample of a picture: luma in a plane of its own or interleaved with
// chroma (YUY2, UYVY), chroma as ChromaPlanes, whose rows are the picture's
// rows or, with chromaRowStep 2 (4:2:0), every second one of them.
// bytesPerSample and the samples' meaning are those of the chroma planes.
struct PicturePlanes {
    uint8_t* luma = nullptr;
    size_t lumaStride = 0;
    size_t lumaStep = 0;  // bytes from a luma sample to the next; 0: bytesPerSample
    ChromaPlanes chroma;
    int chromaRowStep = 1;
    int width = 0;
    int height = 0;
};

// The test pattern as pictures of one size take it: drawn once in YC48 (and
// again only when the size or the line changes) and kept with the frame its
// chroma rows are filtered in, so that a stream allocates and draws nothing
// after its first frame.
class TestPicture {
public:
    // Replaces the whole picture, luma included, by the test pattern of the
    // settings' line, filtered in the settings' mode (0: unfiltered). The
    // pattern's luma is stored as it is; chroma row r is picture row
    // r * chromaRowStep, filtered as a YC frame, and each chroma sample is
    // taken from the pixel it stands on (4:1:1: pixel 4k). False when memory
    // for the pattern or the work buffers could not be had; the picture is
    // left untouched then.
    bool Fill(const PicturePlanes& picture, const ConversionTables& tables,
              const FilterSettings& settings, WorkBuffers& buffers);

private:
    std::vector<PIXEL_YC> pattern_;  // width_ x height_, for line640_
    std::vector<PIXEL_YC> work_;     // the chroma rows, filtered in place
    int width_ = 0;
    int height_ = 0;
    int line640_ = -1;
};

}  // namespace trelvane
