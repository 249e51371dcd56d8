// A y4m frame through the filter: chroma planes through the driver, or the test pattern.
#include "pipeline/y4m_frame_filter.h"

#include "convert/chroma_planes.h"
#include "convert/test_picture.h"

namespace trelvane::cli {

bool ChangesFrames(const Y4mHeader& header, const FilterSettings& settings) {
    if (header.layout == ChromaLayout::kMono) return false;
    return settings.test != 0 || (settings.mode >= 1 && settings.mode <= 4 && header.width >= 2);
}

Y4mFrameFilter::Y4mFrameFilter(const Y4mHeader& header, const ConversionTables& tables,
                               const FilterSettings& settings)
    : header_(header), layout_(FrameLayoutOf(header)), tables_(tables), settings_(settings) {}

Y4mFrameFilter::~Y4mFrameFilter() { ReleaseWorkBuffers(buffers_); }

bool Y4mFrameFilter::Filter(uint8_t* frame) {
    if (!ChangesFrames(header_, settings_)) return true;
    PicturePlanes picture;
    picture.luma = frame;
    picture.lumaStride = static_cast<size_t>(header_.width) * static_cast<size_t>(layout_.bytesPerSample);
    picture.width = header_.width;
    picture.height = header_.height;
    picture.chromaRowStep = header_.layout == ChromaLayout::k420 ? 2 : 1;
    ChromaPlanes& planes = picture.chroma;
    planes.cb = frame + layout_.lumaBytes;
    planes.cr = planes.cb + layout_.chromaBytes;
    planes.stride = static_cast<size_t>(layout_.chromaWidth) * static_cast<size_t>(layout_.bytesPerSample);
    planes.bytesPerSample = layout_.bytesPerSample;
    planes.pixelsPerSample = PixelsPerChromaSample(header_.layout);
    planes.samples = layout_.chromaWidth;
    planes.rows = layout_.chromaHeight;
    if (settings_.test != 0) return testPicture_.Fill(picture, tables_, settings_, buffers_);
    return FilterChromaPlanes(planes, header_.width, tables_, settings_, buffers_);
}

}  // namespace trelvane::cli
