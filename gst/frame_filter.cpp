// A negotiated format's frames as pictures for the shared conversions and row loop.
#include "frame_filter.h"

#include <cstdint>

#include "convert/chroma_planes.h"
#include "convert/test_picture.h"

namespace trelvane::gstreamer {

namespace {

uint8_t* ComponentData(GstVideoFrame& frame, int component) {
    return static_cast<uint8_t*>(GST_VIDEO_FRAME_COMP_DATA(&frame, component));
}

size_t ComponentStride(const GstVideoFrame& frame, int component) {
    return static_cast<size_t>(GST_VIDEO_FRAME_COMP_STRIDE(&frame, component));
}

// Every format the element filters is described by GStreamer's own format
// table: Cb and Cr may lie in planes of their own or between luma samples
// (YUY2, UYVY), the pixel stride is the step from a sample to the next, and
// the subsampling gives the pixels and rows a chroma sample stands for.
PicturePlanes PlanesOf(GstVideoFrame& frame) {
    const GstVideoFormatInfo* format = frame.info.finfo;
    PicturePlanes p;
    p.width = GST_VIDEO_FRAME_WIDTH(&frame);
    p.height = GST_VIDEO_FRAME_HEIGHT(&frame);
    p.luma = ComponentData(frame, GST_VIDEO_COMP_Y);
    p.lumaStride = ComponentStride(frame, GST_VIDEO_COMP_Y);
    p.lumaStep = static_cast<size_t>(GST_VIDEO_FRAME_COMP_PSTRIDE(&frame, GST_VIDEO_COMP_Y));
    p.chromaRowStep = 1 << GST_VIDEO_FORMAT_INFO_H_SUB(format, GST_VIDEO_COMP_U);
    ChromaPlanes& c = p.chroma;
    c.cb = ComponentData(frame, GST_VIDEO_COMP_U);
    c.cr = ComponentData(frame, GST_VIDEO_COMP_V);
    c.stride = ComponentStride(frame, GST_VIDEO_COMP_U);
    c.sampleStep = static_cast<size_t>(GST_VIDEO_FRAME_COMP_PSTRIDE(&frame, GST_VIDEO_COMP_U));
    c.bytesPerSample = GST_VIDEO_FORMAT_INFO_DEPTH(format, GST_VIDEO_COMP_U) > 8 ? 2 : 1;
    c.pixelsPerSample = 1 << GST_VIDEO_FORMAT_INFO_W_SUB(format, GST_VIDEO_COMP_U);
    c.samples = GST_VIDEO_FRAME_COMP_WIDTH(&frame, GST_VIDEO_COMP_U);
    c.rows = GST_VIDEO_FRAME_COMP_HEIGHT(&frame, GST_VIDEO_COMP_U);
    return p;
}

}  // namespace

void ElementSettings::ApplyPreset(int index) {
    preset = index;
    if (index < 1 || static_cast<size_t>(index) > FilterPresets().size()) return;
    const FilterPreset& p = FilterPresets()[static_cast<size_t>(index - 1)];
    mode = p.mode;
    strength = p.strength;
    noise = p.noise;
}

FilterSettings ElementSettings::ForFrame() const {
    FilterSettings s;
    s.mode = mode;
    s.strength = strength;
    s.noise = noise;
    s.line640 = Line640For(line);
    s.mmx = packed ? 1 : 0;
    s.test = testPattern ? 1 : 0;
    return s;
}

void FrameFilter::SetFormat(const GstVideoInfo& info) {
    hasChroma_ = GST_VIDEO_INFO_IS_YUV(&info) && GST_VIDEO_INFO_N_COMPONENTS(&info) >= 3;
    width_ = GST_VIDEO_INFO_WIDTH(&info);
    tables_.reset();
    if (!hasChroma_) return;
    const SampleScale scale{GST_VIDEO_INFO_COMP_DEPTH(&info, GST_VIDEO_COMP_U),
                            info.colorimetry.range == GST_VIDEO_COLOR_RANGE_0_255};
    tables_.emplace(scale);
}

bool FrameFilter::LeavesAlone(const FilterSettings& settings) const {
    if (!hasChroma_) return true;
    if (settings.test != 0) return false;
    return settings.mode < 1 || settings.mode > 4 || width_ < 2;
}

FrameFilter::Result FrameFilter::Filter(GstVideoFrame& frame, const FilterSettings& settings) {
    if (LeavesAlone(settings)) return Result::kDone;
    const PicturePlanes picture = PlanesOf(frame);
    // The row loop steps through both chroma planes with one stride.
    if (ComponentStride(frame, GST_VIDEO_COMP_V) != picture.chroma.stride) return Result::kUnevenStrides;
    const bool done = settings.test != 0
                          ? testPicture_.Fill(picture, *tables_, settings, buffers_)
                          : FilterChromaPlanes(picture.chroma, picture.width, *tables_, settings, buffers_);
    return done ? Result::kDone : Result::kNoMemory;
}

void FrameFilter::Release() {
    ReleaseWorkBuffers(buffers_);
    testPicture_ = TestPicture();
}

}  // namespace trelvane::gstreamer
