// One y4m frame filtered in place, the same way for the stream, preview and
// the demo: the chroma planes of every layout straight through the frame
// driver (convert/chroma_planes.h), luma untouched; the test pattern drawn
// into a YC48 work frame, filtered there and stored into every plane.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "convert/sample_convert.h"
#include "frame/frame_driver.h"
#include "frame/work_buffers.h"
#include "io/y4m.h"
#include "pipeline/filter_runner.h"

namespace trelvane::cli {

// Whether frames of this stream change at all with these settings: chroma
// is filtered (a mode from 1 to 4, a picture at least two pixels wide) or
// the test pattern drawn; never for mono, which has no chroma.
bool ChangesFrames(const Y4mHeader& header, const FilterSettings& settings);

// One worker's filter: the settings of a stream and the buffers for its
// frames. Everything but the driver's work buffers is allocated here (a
// frame too large for the memory throws std::bad_alloc before any frame).
class Y4mFrameFilter {
public:
    // throughHostTable: test-pattern frames go through the plug-in's table
    // (see FilterRunner); only one such filter may exist at a time.
    Y4mFrameFilter(const Y4mHeader& header, const ConversionTables& tables, const FilterSettings& settings,
                   bool throughHostTable);
    ~Y4mFrameFilter();
    Y4mFrameFilter(const Y4mFrameFilter&) = delete;
    Y4mFrameFilter& operator=(const Y4mFrameFilter&) = delete;

    // False when the work buffers could not be allocated (the frame is
    // unchanged then).
    bool Filter(uint8_t* frame);

private:
    bool FilterPattern(uint8_t* frame);

    Y4mHeader header_;
    Y4mFrameLayout layout_;
    const ConversionTables& tables_;
    FilterSettings settings_;
    WorkBuffers buffers_;
    // The test pattern only: its runner, the work frame (one row per chroma
    // row) and, for 4:2:0, the full-size picture whose even rows it takes.
    std::unique_ptr<FilterRunner> runner_;
    std::vector<PIXEL_YC> work_;
    std::vector<PIXEL_YC> pattern_;
};

}  // namespace trelvane::cli
