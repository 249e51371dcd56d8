// A tiny 5x7 bitmap font for labelling pictures: digits, capitals (small
// letters draw as capitals), space and - : , . / ( ) +. Other characters
// draw as '?'.
#pragma once

#include <string_view>

#include "pictures/rgb_image.h"

namespace trelvane::cli {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;

// Width in pixels of text drawn at the given scale (one column of space
// between glyphs).
int TextWidth(std::string_view text, int scale);

// Draws text with its top-left corner at (x, y), each font pixel a
// scale x scale square; pixels outside the image are cut.
void DrawText(RgbImage& image, int x, int y, std::string_view text, int scale, Rgb colour);

}  // namespace trelvane::cli
