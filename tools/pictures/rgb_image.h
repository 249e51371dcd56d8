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

    uint8_t* At(int x, int y) { return rgb.data() + Offset(x, y); }
    const uint8_t* At(int x, int y) const { return rgb.data() + Offset(x, y); }
    size_t Offset(int x, int y) const {
        return (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
    }

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
// The outline of a rectangle, `thickness` pixels wide, inside it.
void DrawOutline(RgbImage& image, int x, int y, int w, int h, int thickness, Rgb colour);
// Copies src with its top-left corner at (x, y); the part outside is cut.
void Blit(RgbImage& dst, const RgbImage& src, int x, int y);

// The rectangle (x, y, w, h) of src, which it must lie in, with every pixel
// drawn as a factor x factor square (nearest neighbour: edges stay sharp).
RgbImage Enlarge(const RgbImage& src, int x, int y, int w, int h, int factor);
// src at 1/factor of its size (rounded up), each pixel the mean of the
// factor x factor square it stands for (of the part inside src).
RgbImage Shrink(const RgbImage& src, int factor);

// Writes an 8-bit RGB PNG. exclusive: only as a new file; an existing one is
// refused and left alone, and a file this call created but could not finish
// is removed. On failure returns false with a one-line reason.
bool WritePng(const std::string& path, const RgbImage& image, std::string& error, bool exclusive = false);

// The pictures of preview and demo are only ever new files: the first of
// `names` (paths under dir) that exists already, even as a dangling link,
// so that a run can refuse before writing anything; empty when none does.
std::string FirstExistingFile(const std::string& dir, const std::vector<std::string>& names);

}  // namespace trelvane::cli
