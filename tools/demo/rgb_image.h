// RGB pictures of YC48 frames, as the host shows them, and PNG output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/yc_frame.h"

namespace trelvane::cli {

struct RgbImage {
    RgbImage() = default;
    RgbImage(int w, int h) : width(w), height(h), rgb(static_cast<size_t>(w) * static_cast<size_t>(h) * 3) {}

    uint8_t* At(int x, int y) { return rgb.data() + (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3; }

    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // rows top to bottom, R G B per pixel
};

struct Rgb {
    uint8_t r, g, b;
};

// The host's BT.601 display conversion: y 4096 is white, chroma +-2048 full
// saturation.
Rgb YcToRgb(const PIXEL_YC& p);

RgbImage RenderYcFrame(const PIXEL_YC* pixels, int w, int h, int pitch);

void FillRect(RgbImage& image, int x, int y, int w, int h, Rgb colour);
// Copies src with its top-left corner at (x, y); the part outside is cut.
void Blit(RgbImage& dst, const RgbImage& src, int x, int y);

// Writes an 8-bit RGB PNG. On failure returns false with a one-line reason.
bool WritePng(const std::string& path, const RgbImage& image, std::string& error);

}  // namespace trelvane::cli
