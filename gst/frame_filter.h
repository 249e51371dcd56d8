// The element's C++ side: its settings as the properties hold them, and the
// frames of a negotiated format as pictures for the shared conversions and
// row loop. The GObject side (trelvane_element.cpp) only forwards to these.
#pragma once

#include <gst/video/video.h>

#include <optional>

#include "convert/sample_convert.h"
#include "convert/test_picture.h"
#include "frame/frame_driver.h"
#include "frame/presets.h"
#include "frame/work_buffers.h"

namespace trelvane::gstreamer {

// The properties' values. preset is 0 for none, else 1 + its index in
// FilterPresets(); setting one sets mode, strength and noise, so later
// explicit values override it.
struct ElementSettings {
    int mode = DefaultStreamSettings().mode;
    int strength = DefaultStreamSettings().strength;
    int noise = DefaultStreamSettings().noise;
    LineChoice line = LineChoice::kAuto;
    bool packed = true;
    bool testPattern = false;
    int preset = 0;

    void ApplyPreset(int index);
    FilterSettings ForFrame() const;
};

// One element's frames: the negotiated format's conversion tables and the
// work buffers, both kept between frames.
class FrameFilter {
public:
    void SetFormat(const GstVideoInfo& info);
    // True when frames of the format with these settings leave the filter
    // exactly as they came: a format without chroma (GRAY8), or mode 0 (or
    // a picture narrower than two pixels) without the test pattern.
    bool LeavesAlone(const FilterSettings& settings) const;
    // Filters a frame of the format in place; the frame is untouched unless
    // the result is kDone.
    enum class Result { kDone, kNoMemory, kUnevenStrides };
    Result Filter(GstVideoFrame& frame, const FilterSettings& settings);
    void Release();

private:
    bool hasChroma_ = false;
    int width_ = 0;
    std::optional<ConversionTables> tables_;
    WorkBuffers buffers_;
    TestPicture testPicture_;
};

}  // namespace trelvane::gstreamer
