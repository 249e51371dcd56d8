// One y4m frame filtered in place, the same way for the stream, preview and
// the demo: the chroma planes of every layout straight through the frame
// driver (convert/chroma_planes.h), luma untouched; with the test pattern,
// the whole picture replaced by the pattern as convert/test_picture.h draws
// it for every integration.
#pragma once

#include <cstdint>
#include "convert/sample_convert.h"
#include "convert/test_picture.h"
#include "frame/frame_driver.h"
#include "frame/work_buffers.h"
#include "io/y4m.h"

namespace trelvane::cli {

// Whether frames of this stream change at all with these settings: chroma
// is filtered (a mode from 1 to 4, a picture at least two pixels wide) or
// the test pattern drawn; never for mono, which has no chroma.
bool ChangesFrames(const Y4mHeader& header, const FilterSettings& settings);

// One worker's filter: the settings of a stream and the driver's work
// buffers for its frames.
class Y4mFrameFilter {
public:
    Y4mFrameFilter(const Y4mHeader& header, const ConversionTables& tables, const FilterSettings& settings);
    ~Y4mFrameFilter();
    Y4mFrameFilter(const Y4mFrameFilter&) = delete;
    Y4mFrameFilter& operator=(const Y4mFrameFilter&) = delete;

    // False when the memory for the work buffers (or the test pattern)
    // could not be had; the frame is unchanged then.
    bool Filter(uint8_t* frame);

private:
    Y4mHeader header_;
    Y4mFrameLayout layout_;
    const ConversionTables& tables_;
    FilterSettings settings_;
    WorkBuffers buffers_;
    TestPicture testPicture_;
};

}  // namespace trelvane::cli
