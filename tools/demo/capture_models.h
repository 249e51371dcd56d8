// The demo's built-in capture: a picture made here, and small models of the
// two analog paths a capture comes through, so that `trelvane demo` can show
// what each mode does to a capture and not only to the test pattern.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace trelvane::cli {

constexpr int kCaptureWidth = 720;
constexpr int kCaptureHeight = 480;

// The stream header of the capture's frames: 720x480 4:2:2, 8 bits.
std::string CaptureHeaderLine();

enum class AnalogPath {
    kNone,       // the clean picture
    // Composite NTSC off the air: I and Q band-limited (1.3 and 0.4 MHz),
    // modulated on the 3.579545 MHz subcarrier, decoded by a band-pass and a
    // synchronous demodulator (1.3 MHz), so luma detail near the subcarrier
    // comes back as cross-colour.
    kBroadcast,
    // Colour-under tape: Cb and Cr band-limited to 0.5 MHz, delayed by two
    // pixels (150 ns) and given chroma noise of 3 codes (band-limited to
    // 1.3 MHz).
    kVhs,
};

// One frame of the capture (the header's layout) along the path: colour bars
// over a luma frequency sweep, large lettering and a hue ramp. Every filter
// is a Gaussian (-3 dB at the frequency given, at 13.5 MHz sampling); the
// noise is the same on every run.
std::vector<uint8_t> CaptureFrame(AnalogPath path);

}  // namespace trelvane::cli
