// Before-and-after pictures of one y4m frame, as `trelvane preview` writes
// them for a user's frame and `trelvane demo` for its built-in capture: the
// frame as it is and through several settings, each filtered as the stream
// filters it (Y4mFrameFilter), shown whole, as a crop enlarged with nearest
// neighbour, and as that crop's chroma alone on mid-grey; and one labelled
// contact sheet of them all.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli_options.h"
#include "convert/sample_convert.h"
#include "frame/frame_driver.h"
#include "io/y4m.h"
#include "pictures/rgb_image.h"

namespace trelvane::cli {

// The default crop: this fixed window (or the whole frame where that is
// smaller), enlarged kDefaultEnlargement times.
constexpr int kDefaultCropWidth = 160;
constexpr int kDefaultCropHeight = 120;
constexpr int kDefaultEnlargement = 4;

struct BeforeAfterVariant {
    std::string name;   // file stem: "unfiltered", "vhs", ...
    std::string label;  // above its row of the contact sheet
    std::optional<FilterSettings> settings;  // none: the frame as it is
    // Another frame of the same stream to show instead (the demo's clean
    // picture); null: the frame.
    const std::vector<uint8_t>* frame = nullptr;
};

// The frame as a full-size YC48 picture for display: luma and chroma in the
// filter's units, each chroma sample on every pixel it covers.
std::vector<PIXEL_YC> FramePicture(const Y4mHeader& header, const ConversionTables& tables, const uint8_t* frame);

// The default crop of a frame's picture: the window, within the frame, in
// which the chroma changes most from pixel to pixel along the rows (the
// centred one when none changes more).
CropRect ChooseCrop(const std::vector<PIXEL_YC>& picture, int width, int height);

// How many times a crop is enlarged: as often as fits 640x480, 1 to 8.
int EnlargementFor(const CropRect& crop);

// The files WriteBeforeAfter writes, the contact sheet last.
std::vector<std::string> BeforeAfterFileNames(const std::vector<BeforeAfterVariant>& variants);

// Writes the pictures into `dir`, which exists. `title` heads the contact
// sheet. exclusive: only as new files (see WritePng), else over earlier ones.
// On failure returns false with a one-line reason.
bool WriteBeforeAfter(const Y4mHeader& header, const std::vector<uint8_t>& frame,
                      const std::vector<BeforeAfterVariant>& variants, const CropRect& crop,
                      const std::string& dir, const std::string& title, bool exclusive, std::string& error);

// "MODE 4  STRENGTH 24  NOISE 128  LINE 640" for a label.
std::string SettingsLabel(const FilterSettings& settings);

}  // namespace trelvane::cli
