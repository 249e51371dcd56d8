// Draws the built-in test pattern: the chroma sweep and the -I/+Q blocks.
#include "frame/test_pattern.h"

#include <cmath>
#include <cstddef>

namespace trelvane {

namespace {

// pi cut to ten decimals, divided by the line length; the pattern's exact
// values depend on this very constant.
constexpr double kSweepStep640 = 0.00490873852109375;
constexpr double kSweepStep720 = 0.004363323129861111;
constexpr double kSweepAmplitude = 1024.0;
constexpr int16_t kSweepLuma = 2048;
constexpr double kBlockAngle = 0.5759586531416667;  // 33 degrees
constexpr double kBlockCbAmplitude = 938.4740406320542;
constexpr double kBlockCrAmplitude = 666.111269614836;
constexpr int kBlockRows = 8;
constexpr int kGapHalfWidth = 16;

// Truncation toward zero to a pixel field; every pattern value lies in
// -1024 .. 2048, so nothing is clipped.
int16_t ToField(double v) {
    return static_cast<int16_t>(static_cast<int>(v));
}

PIXEL_YC* RowAt(PIXEL_YC* frame, int r, int pitch) {
    return frame + static_cast<ptrdiff_t>(r) * pitch;
}

}  // namespace

void DrawTestPattern(int line640, PIXEL_YC* frame, int w, int h, int pitch) {
    if (frame == nullptr || w <= 0 || h <= 0) return;
    const double step = line640 != 0 ? kSweepStep640 : kSweepStep720;

    const int sweepRows = h > kBlockRows ? h - kBlockRows : 0;
    for (int i = 0; i < sweepRows; ++i) {
        PIXEL_YC* row = RowAt(frame, i, pitch);
        const double a = (step * i) * 2;
        for (int j = 0; j < w; ++j) {
            const int16_t v = ToField(std::cos(j * a) * kSweepAmplitude);
            row[j] = PIXEL_YC{kSweepLuma, v, v};
        }
    }

    const PIXEL_YC left{0, ToField(kBlockCbAmplitude * std::sin(kBlockAngle)),
                        ToField(-kBlockCrAmplitude * std::cos(kBlockAngle))};
    const PIXEL_YC right{0, ToField(kBlockCbAmplitude * std::cos(kBlockAngle)),
                         ToField(kBlockCrAmplitude * std::sin(kBlockAngle))};
    const PIXEL_YC gap{0, 0, 0};
    const int m = w / 2;
    const int leftEnd = m - kGapHalfWidth;      // first column after the left block
    const int rightStart = m + kGapHalfWidth;   // first column of the right block
    for (int i = sweepRows; i < h; ++i) {
        PIXEL_YC* row = RowAt(frame, i, pitch);
        for (int j = 0; j < w; ++j) {
            row[j] = j < leftEnd ? left : (j < rightStart ? gap : right);
        }
    }
}

}  // namespace trelvane
