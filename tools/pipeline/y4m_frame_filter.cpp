// A y4m frame through the filter: chroma planes through the driver, or the test pattern.
#include "pipeline/y4m_frame_filter.h"

#include <algorithm>

#include "convert/chroma_planes.h"
#include "frame/test_pattern.h"
#include "io/y4m_work_frame.h"

namespace trelvane::cli {

bool ChangesFrames(const Y4mHeader& header, const FilterSettings& settings) {
    if (header.layout == ChromaLayout::kMono) return false;
    return settings.test != 0 || (settings.mode >= 1 && settings.mode <= 4 && header.width >= 2);
}

Y4mFrameFilter::Y4mFrameFilter(const Y4mHeader& header, const ConversionTables& tables,
                               const FilterSettings& settings, bool throughHostTable)
    : header_(header), layout_(FrameLayoutOf(header)), tables_(tables), settings_(settings) {
    if (settings.test == 0 || !ChangesFrames(header, settings)) return;
    runner_ = std::make_unique<FilterRunner>(throughHostTable);
    const size_t w = static_cast<size_t>(header.width);
    work_.resize(w * static_cast<size_t>(layout_.chromaHeight));
    // For 4:2:0 the pattern is drawn at full size once; the work frame
    // takes its even rows for every frame.
    if (header.layout == ChromaLayout::k420) {
        pattern_.resize(w * static_cast<size_t>(header.height));
        DrawTestPattern(settings.line640, pattern_.data(), header.width, header.height, header.width);
    }
}

Y4mFrameFilter::~Y4mFrameFilter() { ReleaseWorkBuffers(buffers_); }

bool Y4mFrameFilter::Filter(uint8_t* frame) {
    if (!ChangesFrames(header_, settings_)) return true;
    if (settings_.test != 0) return FilterPattern(frame);
    ChromaPlanes planes;
    planes.cb = frame + layout_.lumaBytes;
    planes.cr = planes.cb + layout_.chromaBytes;
    planes.stride = static_cast<size_t>(layout_.chromaWidth) * static_cast<size_t>(layout_.bytesPerSample);
    planes.bytesPerSample = layout_.bytesPerSample;
    planes.pixelsPerSample = PixelsPerChromaSample(header_.layout);
    planes.samples = layout_.chromaWidth;
    planes.rows = layout_.chromaHeight;
    return FilterChromaPlanes(planes, header_.width, tables_, settings_, buffers_);
}

// Where the work frame has the picture's own rows the filter draws the
// pattern itself; for 4:2:0 it gets the pattern's even rows and runs with
// the pattern switched off.
bool Y4mFrameFilter::FilterPattern(uint8_t* frame) {
    const int w = header_.width;
    FilterSettings settings = settings_;
    if (!pattern_.empty()) {
        for (int r = 0; r < layout_.chromaHeight; ++r) {
            const PIXEL_YC* from = pattern_.data() + static_cast<size_t>(2 * r) * static_cast<size_t>(w);
            std::copy(from, from + w, work_.data() + static_cast<size_t>(r) * static_cast<size_t>(w));
        }
        settings.test = 0;
    }
    if (!runner_->Run(settings, {work_.data(), w, layout_.chromaHeight, w})) return false;
    StoreLuma(header_, tables_, pattern_.empty() ? work_.data() : pattern_.data(), frame);
    StoreChroma(header_, layout_, tables_, work_.data(), frame);
    return true;
}

}  // namespace trelvane::cli
